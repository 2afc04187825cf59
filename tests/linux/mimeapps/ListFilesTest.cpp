// The user's list files: edited keeping every byte outside the changed lines, and replaced
// whole, through their links, or refused when they are not regular files.
#include "linux/mimeapps/DurableFile.h"
#include "linux/mimeapps/MimeAppsListEditor.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace halvora::mimeapps;
using namespace halvora::test;

namespace {

// The bytes before, and the edits that make the bytes expected after.
struct EditCase {
    const char *name;
    QByteArray before;
    QList<std::pair<QByteArray, QByteArray>> edits;
    ListKind kind = ListKind::general;
};

// Every byte outside the changed lines stays; restoring the image taken before gives the
// original bytes back, also where the change created groups.
TEST(ListEditor, MakesDefaultKeepingEveryOtherByteAndRestores)
{
    const QByteArray rich =
        "# dotfiles: keep this\n[Default Applications]\ntext/plain=old.desktop;other.desktop;\n"
        "text/plain[de]=x.desktop\n\n# added by hand\n[Added Associations]\nimage/png=a.desktop;\n"
        "  text/plain = old.desktop;new.desktop;z\\;odd.desktop\n[Removed Associations]\n"
        "text/plain=new.desktop;\n[Other]\ntext/plain=kept\n";
    const QList<std::pair<QByteArray, QByteArray>> richEdits{
        {"plain=old", "plain=new.desktop;old"},
        {"= old.desktop;new.desktop;", "= new.desktop;old.desktop;"},
        {"[Removed Associations]\ntext/plain=new.desktop;\n", "[Removed Associations]\n"}};
    const QByteArray repeated = "[Default Applications]\ntext/plain=early.desktop\n[Added Associations]\n"
                                "[Default Applications]\ntext/plain=late.desktop\nimage/png=a.desktop\n";
    const QByteArray settled = "[Default Applications]\ntext/plain=new.desktop;b.desktop;\n"
                               "[Added Associations]\ntext/plain=new.desktop;\n";
    const QByteArray desktop = "[Default Applications]\ntext/plain=kde.desktop;\n"
                               "[Added Associations]\ntext/plain=ignored.desktop;\n";
    const EditCase cases[] = {
        {"empty file",
         "",
         {{"", "[Default Applications]\ntext/plain=new.desktop;\n\n"
               "[Added Associations]\ntext/plain=new.desktop;\n"}}},
        {"comments, translations, multi-ID, other groups", rich, richEdits},
        {"CRLF: the edits match up to the line ends", QByteArray(rich).replace("\n", "\r\n"), richEdits},
        {"new keys after the group's last key, no final line end",
         "[Default Applications]\nimage/png=a.desktop;\n# trailing comment of the group\n\n"
         "[Added Associations]\nimage/png=a.desktop;new.desktop;new.desktop;",
         {{"a.desktop;\n#", "a.desktop;\ntext/plain=new.desktop;\n#"},
          {"new.desktop;new.desktop;", "new.desktop;new.desktop;\ntext/plain=new.desktop;"}}},
        {"repeated group and key: the one that counts",
         repeated,
         {{"Associations]\n", "Associations]\ntext/plain=new.desktop;\n"}, {"=late", "=new.desktop;late"}}},
        {"already the default", settled, {}},
        {"desktop-specific: defaults only",
         desktop,
         {{"=kde", "=new.desktop;kde"}},
         ListKind::desktopSpecific},
        {"no group yet for a desktop-specific list",
         "# empty\n",
         {{"\n", "\n\n[Default Applications]\ntext/plain=new.desktop;\n"}},
         ListKind::desktopSpecific},
    };
    for (const EditCase &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray expected = c.before;
        const QByteArray lineEnd = c.before.contains("\r\n") ? "\r\n" : "\n";
        for (auto [from, to] : c.edits)
            expected.replace(from.replace("\n", lineEnd), to.replace("\n", lineEnd));
        const QString type = QStringLiteral("text/plain");
        const QByteArray after = ListEditor::makeDefault(c.before, type, u"new.desktop"_qs, c.kind);
        EXPECT_EQ(after.toStdString(), expected.toStdString());
        const QList<EntryImage> image = ListEditor::image(c.before, type, c.kind);
        EXPECT_EQ(ListEditor::restore(after, type, image).toStdString(), c.before.toStdString());
        // Another type's change in between survives the restore.
        const QByteArray both = ListEditor::makeDefault(after, u"image/x-other"_qs, u"o.desktop"_qs, c.kind);
        const QByteArray restored = ListEditor::restore(both, type, image);
        EXPECT_EQ(ListEditor::items(restored, ListEditor::defaultGroup, QStringLiteral("image/x-other")),
                  QList<QString>{QStringLiteral("o.desktop")});
        const QList<EntryImage> again = ListEditor::image(restored, type, c.kind);
        for (qsizetype i = 0; i < image.size() && i < again.size(); ++i)
            EXPECT_EQ(again[i].lines, image[i].lines) << again[i].group.toStdString();
    }
}

struct RefusalCase {
    const char *name;
    QByteArray bytes;
    int line;
    const char *reason;
};

TEST(ListEditor, RefusesWhatGKeyFileRefusesNamingTheLine)
{
    const RefusalCase cases[] = {
        {"stray line", "[Default Applications]\ntext/plain=a.desktop\nstray\n", 3,
         "키=값, [그룹], 주석 중 어느 것도 아닌 줄입니다."},
        {"byte order mark", "\xEF\xBB\xBF[Default Applications]\ntext/plain=a.desktop\n", 1,
         "파일 맨 앞에 UTF-8 BOM이 있습니다."},
        {"key above the first group", "# c\ntext/plain=a.desktop\n[Default Applications]\n", 2,
         "첫 그룹 머리글([...])보다 앞에 키가 있습니다."},
        {"bad group name", "[Default Applications]\n[Bad\x01Name]\n", 2,
         "그룹 이름 'Bad\x01Name'이(가) 올바르지 않습니다."},
        {"blank inside a translated key", "[Default Applications]\ntext/plain [de]=a\n", 2,
         "키 이름 'text/plain [de]'이(가) 올바르지 않습니다."},
    };
    for (const RefusalCase &c : cases) {
        SCOPED_TRACE(c.name);
        const auto refusal = failureOf<ListSyntaxError>(
            [&] { ListEditor::makeDefault(c.bytes, u"text/plain"_qs, u"n.desktop"_qs, ListKind::general); });
        EXPECT_EQ(refusal.value().inFile(u"/h/mimeapps.list"_qs).localizedDescription(),
                  u"'/h/mimeapps.list' 파일의 %1번째 줄을 해석할 수 없어 파일을 바꾸지 않았습니다: %2"_qs
                      .arg(c.line)
                      .arg(QString::fromUtf8(c.reason)));
    }
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

unsigned modeOf(const QString &path)
{
    struct stat info {};
    ::stat(native(path).constData(), &info);
    return info.st_mode & 07777;
}

struct ReplaceCase {
    const char *name;
    std::function<void(const QString &root)> arrange;
    const char *listPath; // relative to root
    const char *targetPath;
};

// The named path is read through its links, the link's target is replaced in its own
// directory, links stay links, modes are kept (new files 0600), leftovers of killed runs go.
TEST(DurableFile, ReplacesTheTargetAtomicallyKeepingLinksAndModes)
{
    const ReplaceCase cases[] = {
        {"new file in a missing directory", [](const QString &) {}, "cfg/mimeapps.list", "cfg/mimeapps.list"},
        {"relative link into a dotfiles tree",
         [](const QString &r) {
             writeFile(r + "/dots/mime/apps.list", "old");
             ::chmod(native(r + "/dots/mime/apps.list").constData(), 0640);
             QDir().mkpath(r + "/cfg");
             ::symlink("../dots/mime/apps.list", native(r + "/cfg/mimeapps.list").constData());
         },
         "cfg/mimeapps.list", "dots/mime/apps.list"},
        {"dangling link creates its target",
         [](const QString &r) {
             QDir().mkpath(r + "/cfg");
             QDir().mkpath(r + "/dots");
             QFile::link(r + "/dots/apps.list", r + "/cfg/mimeapps.list");
         },
         "cfg/mimeapps.list", "dots/apps.list"},
        {"leftover of a killed run",
         [](const QString &r) {
             writeFile(r + "/cfg/mimeapps.list", "old");
             writeFile(r + "/cfg/" + temporaryPrefix("mimeapps.list") + "a1b2c3", "torn");
         },
         "cfg/mimeapps.list", "cfg/mimeapps.list"},
    };
    for (const ReplaceCase &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        c.arrange(root.path());
        const QString list = root.path() + '/' + c.listPath;
        const QString target = root.path() + '/' + c.targetPath;
        const bool existed = QFileInfo::exists(target), wasLink = QFileInfo(list).isSymLink();
        const unsigned mode = existed ? modeOf(target) : 0600;

        const FileSnapshot snapshot = readRegularFile(list);
        EXPECT_EQ(snapshot.exists, existed);
        EXPECT_EQ(snapshot.target, target);
        replaceDurably(snapshot, "new bytes\n");

        EXPECT_EQ(bytesOf(list), "new bytes\n");
        EXPECT_EQ(QFileInfo(list).isSymLink(), wasLink);
        EXPECT_EQ(modeOf(target), mode);
        EXPECT_EQ(entriesOf(QFileInfo(target).absolutePath()), QStringList{QFileInfo(target).fileName()});
    }
}

// Never opened, so never a blocked writer. A folder in the list's place is the program fault
// tests'; a list in a read-only folder, the writer processes'.
TEST(DurableFile, RefusesAFifo)
{
    QTemporaryDir root;
    const QString fifo = root.path() + "/mimeapps.list";
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0644), 0);
    EXPECT_EQ(failureOf<ListFileError>([&] { readRegularFile(fifo); }).value().localizedDescription(),
              u"'%1'은(는) 일반 파일이 아니라 FIFO이어서 읽거나 바꾸지 않았습니다."_qs.arg(fifo));
}

} // namespace
