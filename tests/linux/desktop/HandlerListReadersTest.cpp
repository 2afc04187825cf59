#include "core/system/SystemErrors.h"
#include "linux/desktop/LaunchServicesPlistReader.h"
#include "linux/desktop/MimeAppsListReader.h"

#include "support/fixtures/PlistSamples.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

#include <iterator>

using namespace halvora;
using namespace halvora::plistsamples;

namespace {

using Handlers = QList<LaunchServicesContentTypeHandler>;

LaunchServicesContentTypeHandler handler(const char *type, std::optional<QString> id = std::nullopt)
{
    return {QString::fromUtf8(type), std::move(id)};
}

Handlers readPlist(const QByteArray &bytes)
{
    return LaunchServicesPlistReader().registeredContentTypeHandlers(bytes);
}

// A binary property list written by hand, for shapes the library cannot produce itself:
// object i is an array of the objects listed in children[i]; one-byte offsets are too
// small, so offsets and references are four bytes.
QByteArray binaryArrays(const QList<QList<quint32>> &children)
{
    QByteArray bytes("bplist00");
    QList<quint32> offsets;
    auto put = [&bytes](quint64 value, int width) {
        const quint64 bigEndian = qToBigEndian(value);
        bytes.append(reinterpret_cast<const char *>(&bigEndian) + 8 - width, width);
    };
    for (const QList<quint32> &refs : children) {
        offsets.append(static_cast<quint32>(bytes.size()));
        bytes.append("\xAF\x12"); // an array whose size follows as a four-byte integer
        put(refs.size(), 4);
        for (quint32 ref : refs)
            put(ref, 4);
    }
    const quint64 table = bytes.size();
    for (quint32 offset : offsets)
        put(offset, 4);
    bytes.append(QByteArray(6, '\0') + "\x04\x04"); // four-byte offsets and references
    put(children.size(), 8);
    put(0, 8);
    put(table, 8);
    return bytes;
}

// Arrays 0..levels-1, each holding the next `width` times.
QByteArray nestedArrays(quint32 levels, int width)
{
    QList<QList<quint32>> children;
    for (quint32 i = 0; i + 1 < levels; ++i)
        children.append(QList<quint32>(width, i + 1));
    children.append(QList<quint32>());
    return binaryArrays(children);
}

} // namespace

TEST(LaunchServicesPlistReader, ChoosesRolesAndSkipsEntriesAndUnusableStructuresInBothEncodings)
{
    const auto png = [] { return dict({{"LSHandlerContentType", text("public.png")}}); };
    const struct {
        plist_t root;
        Handlers expected;
    } cases[] = {
        {sampleHandlers(),
         {handler("public.plain-text", u"com.example.all"_qs),
          handler("public.png", u"com.example.editor"_qs), handler("public.jpeg", u"com.example.viewer"_qs),
          handler("com.adobe.pdf"), handler("public.plain-text", QString()),
          handler("public.héllo-텍스트", u"com.예제"_qs)}},
        // Structures without a usable handler array give nothing; one element that is not a
        // dictionary spoils the whole array.
        {array({png()}), {}},
        {dict({{"Other", png()}}), {}},
        {withHandlers(png()), {}},
        {withHandlers(array({png(), text("stray")})), {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        for (const QByteArray &bytes : encodings(cases[i].root))
            EXPECT_EQ(readPlist(bytes), cases[i].expected)
                << "case " << i << ": " << bytes.left(8).toStdString();
    }
}

TEST(LaunchServicesPlistReader, RefusesGarbageAndHostileShapesBeforeParsingButReadsLongLists)
{
    const auto [xml, binary] =
        encodings(withHandlers(array({dict({{"LSHandlerContentType", text("public.png")}})})));
    QList<quint32> words(16 * 1024);
    QRandomGenerator(21).fillRange(words.data(), words.size());
    const QByteArray garbage(reinterpret_cast<const char *>(words.constData()), words.size() * 4);
    constexpr int levels = 10'000;

    const QByteArray refused[] = {
        QByteArray(),
        garbage,
        "bplist00" + garbage,
        binary.left(binary.size() - 5),
        binary.left(12),
        xml.left(xml.size() / 2),
        QByteArray(50 * 1024 * 1024, 'x'),
        "<?xml version=\"1.0\"?><plist version=\"1.0\">" + QByteArray("<array>").repeated(levels) +
            QByteArray("</array>").repeated(levels) + "</plist>",
        nestedArrays(levels, 1),
        nestedArrays(40, 2),      // a few hundred bytes that would decode into 2^40 nodes
        binaryArrays({{1}, {0}}), // a cycle
        binaryArrays({{7}}),      // a reference out of range
    };
    for (size_t i = 0; i < std::size(refused); ++i)
        EXPECT_THROW(readPlist(refused[i]), HandlerListFormatError) << "case " << i;

    // Moderate nesting in keys the reader ignores and shared leaves are fine.
    const QByteArray xmlModerate =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Deep</key>" +
        QByteArray("<array>").repeated(100) + QByteArray("</array>").repeated(100) +
        "<key>LSHandlers</key><array><dict><key>LSHandlerContentType</key><string>public.png</string></dict>"
        "</array></dict></plist>";
    EXPECT_EQ(readPlist(xmlModerate), Handlers{handler("public.png")});
    EXPECT_TRUE(readPlist(binaryArrays({{1, 1, 1}, {}})).isEmpty());
    // So is a long list.
    const QByteArray entry = "<dict><key>LSHandlerContentType</key><string>public.item</string>"
                             "<key>LSHandlerRoleAll</key><string>com.example.handler</string></dict>\n";
    const int count = 50 * 1024 * 1024 / entry.size() + 1;
    EXPECT_EQ(readPlist("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>LSHandlers</key><array>\n" +
                        entry.repeated(count) + "</array></dict></plist>"),
              Handlers(count, handler("public.item", u"com.example.handler"_qs)));
}

TEST(MimeAppsListReader, ReadsAsGKeyFileDoesAndRefusesWhatItRefuses)
{
    const auto read = [](const QByteArray &bytes) {
        return MimeAppsListReader().registeredContentTypeHandlers(bytes);
    };
    // Defaults in file order, then further added types. A repeated key keeps its first place
    // and, as GKeyFile reads it, the last value. A value that is not UTF-8 names no handler; a
    // NUL byte ends the value, as for GIO.
    static const char listBytes[] = "# chosen by the user\n[Added Associations]\nimage/png=viewer.desktop;\n"
                                    "application/json=editor.desktop;\n\n[Default Applications]\n"
                                    "text/plain=My Notes 메모.desktop;editor.desktop;\napplication/pdf=\n"
                                    "text/markdown=;;editor.desktop;\ntext/plain[ko]=ignored.desktop\n"
                                    "image/png=viewer.desktop\napplication/pdf=viewer.desktop;\n"
                                    "text/x-bad=bad\xff.desktop\nimage/gif=view\0er.desktop\n"
                                    "[Removed Associations]\ntext/html=browser.desktop;\n";
    EXPECT_EQ(
        read(QByteArray(listBytes, sizeof listBytes - 1)),
        (Handlers{handler("text/plain", u"My Notes 메모.desktop"_qs),
                  handler("application/pdf", u"viewer.desktop"_qs),
                  handler("text/markdown", u"editor.desktop"_qs), handler("image/png", u"viewer.desktop"_qs),
                  handler("text/x-bad"), handler("image/gif", u"view"_qs), handler("application/json")}));
    EXPECT_TRUE(read("").isEmpty());

    // The reader names no file; the client adds it (its own test checks that).
    EXPECT_THROW(read("[Default Applications]\njust some words\n"), HandlerListFormatError);
}
