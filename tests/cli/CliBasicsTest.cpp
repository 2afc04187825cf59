#include "FakeConsole.h"

#include "cli/AssociationProfile.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/TextTable.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace halvora;
using namespace halvora::cli;

namespace {

ExitCode usageCodeOf(const QStringList &arguments)
{
    try {
        parseCommandLine(arguments);
    } catch (...) {
        return exitCodeFor(std::current_exception());
    }
    return ExitCode::success;
}

// The message names the file: the user should see which one.
ProfileError::Problem fileProblemOf(const QString &path)
{
    try {
        readProfileFile(path);
    } catch (const ProfileError &error) {
        EXPECT_TRUE(error.localizedDescription().contains(QFileInfo(path).fileName()));
        return error.problem();
    }
    ADD_FAILURE() << "read: " << path.toStdString();
    return ProfileError::Problem::writeFailed;
}

} // namespace

TEST(CliCommandLine, AcceptsOptionsAnywhereAndEndsThemAtDoubleDash)
{
    ParsedCommand parsed = parseCommandLine({"list", "--search=pdf viewer", "--json", "--filter", "all"});
    EXPECT_EQ(parsed.command, "list");
    EXPECT_TRUE(parsed.has("--json"));
    EXPECT_EQ(parsed.value("--search"), "pdf viewer");
    EXPECT_EQ(parsed.value("--filter"), "all");

    parsed = parseCommandLine({"bulk", "--yes", "app.desktop", "--", "--weird", "-", "md"});
    EXPECT_EQ(parsed.arguments, (QStringList{"app.desktop", "--weird", "-", "md"}));

    // A lone dash is standard input, not an option.
    EXPECT_EQ(parseCommandLine({"export", "-"}).arguments, QStringList{"-"});

    // Help is answered either way, even when the rest would be bad usage.
    for (const QStringList &arguments : QList<QStringList>{{"help", "set"}, {"set", "--help"}}) {
        EXPECT_TRUE(parseCommandLine(arguments).helpRequested);
        EXPECT_EQ(parseCommandLine(arguments).command, "set");
    }
}

TEST(CliCommandLine, RejectsBadUsageWithExitCodeTwo)
{
    // Everything the commands cannot run, including what they cannot be given.
    for (const char *line : {"", "frobnicate", "--frobnicate", "list --yes", "list --search", "list --json=1",
                             "list --search a --search b", "show", "show md txt", "set md",
                             "bulk app.desktop", "help frobnicate"}) {
        EXPECT_EQ(usageCodeOf(QString::fromUtf8(line).split(' ', Qt::SkipEmptyParts)), ExitCode::badInput)
            << line;
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

TEST(CliConsole, ColourAndConfirmationFollowTheTerminal)
{
    EXPECT_TRUE(colourAllowed(true, false, "xterm-256color"));
    EXPECT_FALSE(colourAllowed(false, false, "xterm"));
    EXPECT_FALSE(colourAllowed(true, true, "xterm"));
    EXPECT_FALSE(colourAllowed(true, false, "dumb"));

    // A pipe cannot confirm, and is never read from.
    test::FakeConsole pipe;
    pipe.input = {"y"};
    EXPECT_THROW(confirm(pipe, "바꿀까요?", false), CliError);
    EXPECT_EQ(pipe.linesRead, 0);
    EXPECT_TRUE(confirm(pipe, "바꿀까요?", true));
    EXPECT_EQ(pipe.linesRead, 0);

    test::FakeConsole terminal;
    terminal.terminal = true;
    terminal.input = {" 예 ", "n", "yess"};
    EXPECT_TRUE(confirm(terminal, "바꿀까요?", false));
    EXPECT_FALSE(confirm(terminal, "바꿀까요?", false));
    EXPECT_FALSE(confirm(terminal, "바꿀까요?", false));
    EXPECT_FALSE(confirm(terminal, "바꿀까요?", false)); // end of input
    EXPECT_TRUE(terminal.err.contains("[y/N]"));
}

TEST(CliProfile, RoundTripsAndNormalisesExtensions)
{
    AssociationProfile profile;
    profile.defaults = {{"md", "org.example.Editor.desktop"}, {"tar.gz", "org.example.Archives.desktop"}};
    EXPECT_EQ(parseProfile(serializeProfile(profile)), profile);

    const AssociationProfile read = parseProfile(R"({"format":"halvora-profile","version":1,"extra":true,
        "defaults":{" .PDF ":"viewer.desktop","pdf":"viewer.desktop"}})");
    EXPECT_EQ(read.defaults, (QMap<QString, QString>{{"pdf", "viewer.desktop"}}));

    QTemporaryDir dir;
    const QString path = dir.filePath("profile.json");
    writeProfileFile(path, profile);
    EXPECT_EQ(readProfileFile(path), profile);
    // Replacing an existing file leaves no temporary beside it.
    writeProfileFile(path, read);
    EXPECT_EQ(readProfileFile(path), read);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"profile.json"});
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
    };
    for (const auto &c : cases) {
        try {
            parseProfile(c.json);
            ADD_FAILURE() << "accepted: " << c.json.constData();
        } catch (const ProfileError &error) {
            EXPECT_EQ(error.problem(), c.problem) << c.json.constData();
            for (const QString &name : c.named)
                EXPECT_TRUE(error.localizedDescription().contains(name)) << error.what();
        }
    }

    QTemporaryDir dir;
    EXPECT_EQ(fileProblemOf(dir.filePath("missing.json")), Problem::fileNotFound);
    QFile huge(dir.filePath("huge.json"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(AssociationProfile::maxFileSize + 10));
    huge.close();
    EXPECT_EQ(fileProblemOf(huge.fileName()), Problem::tooLarge);
}
