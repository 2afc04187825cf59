#include "ModelTestSupport.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"
#include "core/model/TextOrder.h"

#include <QFuture>
#include <QtConcurrent>

#include <stdexcept>

namespace halvora {
namespace {

TEST(ModelTextOrder, ComparesByScalarValueNotByUtf16Unit)
{
    const QString privateUse = QString(QChar(0xE000));             // U+E000
    const QString beyondBmp = QString::fromUcs4(U"\U0001F600", 1); // a surrogate pair
    EXPECT_TRUE(privateUse > beyondBmp) << "QString itself orders by UTF-16 unit";
    EXPECT_TRUE(scalarValueLess(privateUse, beyondBmp));
    EXPECT_FALSE(scalarValueLess(beyondBmp, privateUse));
    EXPECT_TRUE(scalarValueLess(u"Zed", u"abc")); // no case folding
    EXPECT_TRUE(scalarValueLess(u"ab", u"abc"));  // a prefix first
    EXPECT_EQ(compareScalarValues(beyondBmp, beyondBmp), 0);
}

QString rejectedPayload(const QString &input)
{
    try {
        FileExtensionNormalizer::normalize(input);
    } catch (const FileAssociationError &error) {
        EXPECT_EQ(error.kind(), FileAssociationError::Kind::invalidExtension);
        return error.payload();
    }
    ADD_FAILURE() << "accepted: " << input.toStdString();
    return {};
}

TEST(ModelNormalizer, TrimsDropsDotsAndLowerCases)
{
    EXPECT_EQ(FileExtensionNormalizer::normalize(u" .PDF "_qs), u"pdf"_qs);
    EXPECT_EQ(FileExtensionNormalizer::normalize(u"...md"_qs), u"md"_qs);
    EXPECT_EQ(FileExtensionNormalizer::normalize(u"Tar.GZ"_qs), u"tar.gz"_qs);
    EXPECT_EQ(FileExtensionNormalizer::normalize(u"\u00C9T\u00C9"_qs), u"\u00E9t\u00E9"_qs);
    EXPECT_EQ(FileExtensionNormalizer::normalize(u"A\\B"_qs), u"a\\b"_qs);
    EXPECT_EQ(FileExtensionNormalizer::normalize(u"c++_x-1"_qs), u"c++_x-1"_qs);
    // Every trimmed character: tab, U+000A..U+000D, U+0085, and category Z separators.
    EXPECT_EQ(FileExtensionNormalizer::normalize(u"\t\n\u000B\f\r\u0085 \u00A0\u3000md\u2028\u2029\u2003"_qs),
              u"md"_qs);
}

TEST(ModelNormalizer, RejectsWithTheTextAfterLowerCasing)
{
    for (const QString &empty : {u""_qs, u"   "_qs, u"."_qs, u"..."_qs, u"\t.\t"_qs, u"\u3000"_qs})
        EXPECT_EQ(rejectedPayload(empty), QString()) << empty.toStdString();

    EXPECT_EQ(rejectedPayload(u". md"_qs), u" md"_qs); // trimming is not repeated after the dots
    EXPECT_EQ(rejectedPayload(u" A/B "_qs), u"a/b"_qs);
    EXPECT_EQ(rejectedPayload(u"X:Y"_qs), u"x:y"_qs);
    EXPECT_EQ(rejectedPayload(u"M D"_qs), u"m d"_qs);
    EXPECT_EQ(rejectedPayload(u"m\u00A0d"_qs), u"m\u00A0d"_qs);
    EXPECT_EQ(rejectedPayload(u"m\u000Bd"_qs), u"m\u000Bd"_qs);
    EXPECT_EQ(rejectedPayload(u"MD."_qs), u"md."_qs);
}

TEST(ModelFileAssociationError, EmptyTextHasItsOwnMessageAndEqualityLooksAtThePayload)
{
    using E = FileAssociationError;
    EXPECT_EQ(E::invalidExtension({}).errorDescription(), u"확장자를 입력하세요."_qs);
    EXPECT_EQ(E::invalidExtension(u"a/b"_qs).errorDescription(), u"'a/b'는 사용할 수 없는 확장자입니다."_qs);
    EXPECT_EQ(E::systemFailure(u" raw  text "_qs).errorDescription(), u" raw  text "_qs);
    EXPECT_FALSE(E::invalidExtension(u"md"_qs) == E::contentTypeUnavailable(u"md"_qs));
    EXPECT_FALSE(E::invalidExtension(u"md"_qs) == E::invalidExtension(u"MD"_qs));
}

TEST(ModelFileAssociationError, CrossesAFutureWithCaseAndPayload)
{
    QFuture<void> failing =
        QtConcurrent::run([] { throw FileAssociationError::contentTypeUnavailable(u"md"_qs); });
    try {
        failing.waitForFinished();
        FAIL() << "no exception";
    } catch (const FileAssociationError &error) {
        EXPECT_TRUE(error == FileAssociationError::contentTypeUnavailable(u"md"_qs));
        EXPECT_EQ(localizedDescription(std::current_exception()), error.errorDescription());
    }

    // Anything else arrives wrapped; its own message is still what the user sees.
    QFuture<void> foreign = QtConcurrent::run([] { throw std::runtime_error("디스크 오류"); });
    try {
        foreign.waitForFinished();
        FAIL() << "no exception";
    } catch (...) {
        EXPECT_EQ(localizedDescription(std::current_exception()), u"디스크 오류"_qs);
    }
    EXPECT_EQ(localizedDescription(std::make_exception_ptr(42)), u"알 수 없는 오류가 발생했습니다."_qs);
}

} // namespace
} // namespace halvora
