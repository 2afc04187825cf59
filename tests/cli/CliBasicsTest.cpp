#include "cli/AssociationProfile.h"
#include "cli/CommandLine.h"
#include "cli/TextTable.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace halvora;
using namespace halvora::cli;

TEST(CliCommandLine, AcceptsOptionsAnywhereAndEndsThemAtDoubleDash)
{
    EXPECT_EQ(parseCommandLine({"list", "--search=pdf viewer", "--json"}).value("--search"), "pdf viewer");
    EXPECT_EQ(parseCommandLine({"bulk", "--yes", "app.desktop", "--", "--weird", "-", "md"}).arguments,
              (QStringList{"app.desktop", "--weird", "-", "md"}));

    // Help is answered either way, even when the rest would be bad usage.
    for (const QStringList &arguments : QList<QStringList>{{"help", "set"}, {"set", "--help"}}) {
        EXPECT_TRUE(parseCommandLine(arguments).helpRequested);
        EXPECT_EQ(parseCommandLine(arguments).command, "set");
    }
}

TEST(CliTextTable, AlignsWideTextAndNeutralisesControlCharacters)
{
    EXPECT_EQ(displayWidth("확장자"), 6);
    EXPECT_EQ(displayWidth("e\u0301"), 1);

    const QString table = renderTable(
        {{"확장자"}, {"앱"}, {"수", true}},
        {{{".md"}, {"\x1b]0;owned\x07Evil\tName"}, {"12"}}, {{".tar.gz"}, {"문서 보기"}, {"3"}}}, false);
    const QStringList lines = table.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_FALSE(table.contains(QChar(0x1b)));
    EXPECT_FALSE(table.contains('\t'));
    // Every line has the same display width up to the right-aligned count, and none
    // carries trailing blanks.
    for (const QString &line : lines) {
        EXPECT_FALSE(line.endsWith(' ')) << line.toStdString();
        EXPECT_EQ(displayWidth(line), displayWidth(lines.first())) << line.toStdString();
    }
    // The second column starts at the same display column on every line.
    EXPECT_EQ(displayWidth(lines.at(0).left(lines.at(0).indexOf("앱"))), displayWidth(".tar.gz") + 2);
    EXPECT_EQ(displayWidth(lines.at(2).left(lines.at(2).indexOf("문서"))), displayWidth(".tar.gz") + 2);

    EXPECT_FALSE(renderTable({{"a"}}, {{{"x", CellColour::red}}}, false).contains(QChar(0x1b)));
    EXPECT_TRUE(renderTable({{"a"}}, {{{"x", CellColour::red}}}, true).contains("\x1b[31mx\x1b[0m"));
}

// The round trip is the process test's export and import.
TEST(CliProfile, NormalisesExtensionsAndIgnoresUnknownFields)
{
    const AssociationProfile read = parseProfile(R"({"format":"halvora-profile","version":1,"extra":true,
        "defaults":{" .PDF ":"viewer.desktop","pdf":"viewer.desktop"}})");
    EXPECT_EQ(read.defaults, (QMap<QString, QString>{{"pdf", "viewer.desktop"}}));
}

TEST(CliProfile, RejectsBadProfilesWithTypedErrors)
{
    using Problem = ProfileError::Problem;
    const QByteArray header = R"({"format":"halvora-profile","version":1,"defaults":)";
    const struct {
        QByteArray json;
        Problem problem;
        QStringList named; // in the message
    } cases[] = {
        {"{\"format\":", Problem::notJson, {}},
        {"[]", Problem::notAProfile, {}},
        {R"({"format":"other","version":1,"defaults":{}})", Problem::notAProfile, {}},
        {R"({"format":"halvora-profile","version":"1","defaults":{}})", Problem::notAProfile, {}},
        {R"({"format":"halvora-profile","version":1.5,"defaults":{}})", Problem::notAProfile, {}},
        {R"({"format":"halvora-profile","version":2,"defaults":{}})", Problem::unsupportedVersion, {}},
        {R"({"format":"halvora-profile","version":1})", Problem::notAProfile, {}},
        {header + R"({"a/b":"x.desktop"}})", Problem::invalidExtension, {}},
        {header + R"({"md":"../x.desktop"}})", Problem::invalidApplication, {}},
        {header + R"({"md":"editor"}})", Problem::invalidApplication, {}},
        {header + R"({"md":7}})", Problem::invalidApplication, {}},
        // One extension given two applications, by two spellings or by one key written twice
        // (which a JSON reader would quietly reduce to the later one).
        {header + R"({"MD":"a.desktop","md":"b.desktop"}})",
         Problem::duplicateExtension,
         {"\"MD\"(a.desktop)", "\"md\"(b.desktop)"}},
        {header + R"({"md" : "a.desktop", "x\"md": {"md": ["}", "b.desktop"]}, "md":"b\u002edesktop"}})",
         Problem::duplicateExtension,
         {"\"md\"", "a.desktop", "b.desktop"}},
        {QByteArray(AssociationProfile::maxFileSize + 1, ' '), Problem::tooLarge, {"profile.json"}},
    };
    QTemporaryDir dir;
    QFile file(dir.filePath("profile.json"));
    for (const auto &c : cases) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.json) == c.json.size());
        file.close();
        try {
            readProfileFile(file.fileName());
            ADD_FAILURE() << "accepted: " << c.json.left(100).constData();
        } catch (const ProfileError &error) {
            EXPECT_EQ(error.problem(), c.problem) << c.json.left(100).constData();
            for (const QString &name : c.named)
                EXPECT_TRUE(error.localizedDescription().contains(name)) << error.what();
        }
    }
}
