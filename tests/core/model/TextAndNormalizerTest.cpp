#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"
#include "support/SampleAssociations.h"

#include <QtConcurrent>

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvora::test {
namespace {

// Accepted text gives the extension; rejected text gives the error's payload (after lower-casing).
TEST(ModelNormalizer, TrimsDropsDotsLowerCasesOrRejects)
{
    const struct {
        QString input;
        QString result;
        bool accepted;
    } cases[] = {
        {u" .PDF "_qs, u"pdf"_qs, true},
        {u"...md"_qs, u"md"_qs, true},
        {u"Tar.GZ"_qs, u"tar.gz"_qs, true},
        {u"\u00C9T\u00C9"_qs, u"\u00E9t\u00E9"_qs, true},
        {u"A\\B"_qs, u"a\\b"_qs, true},
        {u"c++_x-1"_qs, u"c++_x-1"_qs, true},
        // Every trimmed character: tab, U+000A..U+000D, U+0085, and category Z separators.
        {u"\t\n\u000B\f\r\u0085 \u00A0\u3000md\u2028\u2029\u2003"_qs, u"md"_qs, true},
        {u""_qs, {}, false},
        {u"..."_qs, {}, false},
        {u"\t.\t"_qs, {}, false},
        {u". md"_qs, u" md"_qs, false}, // trimming is not repeated after the dots
        {u" A/B "_qs, u"a/b"_qs, false},
        {u"X:Y"_qs, u"x:y"_qs, false},
        {u"M D"_qs, u"m d"_qs, false},
        {u"m\u00A0d"_qs, u"m\u00A0d"_qs, false},
        {u"m\u000Bd"_qs, u"m\u000Bd"_qs, false},
        {u"MD."_qs, u"md."_qs, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        try {
            EXPECT_EQ(FileExtensionNormalizer::normalize(c.input), c.result);
            EXPECT_TRUE(c.accepted);
        } catch (const FileAssociationError &error) {
            EXPECT_FALSE(c.accepted);
            EXPECT_EQ(error, FileAssociationError::invalidExtension(c.result));
        }
    }
}

TEST(ModelFileAssociationError, EqualityAndCrossingAFuture)
{
    using E = FileAssociationError;
    // The normaliser's table compares errors; equality must see the kind and the payload.
    EXPECT_FALSE(E::invalidExtension(u"md"_qs) == E::contentTypeUnavailable(u"md"_qs));
    EXPECT_FALSE(E::invalidExtension(u"md"_qs) == E::invalidExtension(u"MD"_qs));
    try {
        QtConcurrent::run([] { throw E::contentTypeUnavailable(u"md"_qs); }).waitForFinished();
        FAIL() << "no exception";
    } catch (const E &error) {
        EXPECT_TRUE(error == E::contentTypeUnavailable(u"md"_qs));
        EXPECT_EQ(localizedDescription(std::current_exception()), error.errorDescription());
    }
    // Anything else arrives wrapped; its own message is still what the user sees.
    try {
        QtConcurrent::run([] { throw std::runtime_error("디스크 오류"); }).waitForFinished();
        FAIL() << "no exception";
    } catch (...) {
        EXPECT_EQ(localizedDescription(std::current_exception()), u"디스크 오류"_qs);
    }
    EXPECT_EQ(localizedDescription(std::make_exception_ptr(42)), u"알 수 없는 오류가 발생했습니다."_qs);
}

} // namespace
} // namespace halvora::test
