#include "linux/mimeapps/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace halvora::mimeapps;

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

void write(const QString &path, const QByteArray &bytes, mode_t mode = 0644)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    ::chmod(native(path).constData(), mode);
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

unsigned modeOf(const QString &path)
{
    struct stat info {};
    ::stat(native(path).constData(), &info);
    return info.st_mode & 07777;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct ReplaceCase {
    const char *name;
    std::function<void(const QString &root)> arrange;
    const char *listPath; // relative to root
    const char *targetPath;
    bool existed;
    unsigned mode;
};

// The named path is read through its links, the link's target is replaced in its own
// directory, links stay links, modes are kept (new files 0600), leftovers of killed runs go.
TEST(DurableFile, ReplacesTheTargetAtomicallyKeepingLinksAndModes)
{
    const ReplaceCase cases[] = {
        {"new file in a missing directory", [](const QString &) {}, "cfg/mimeapps.list", "cfg/mimeapps.list",
         false, 0600},
        {"relative link into a dotfiles tree",
         [](const QString &r) {
             write(r + "/dots/mime/apps.list", "old", 0640);
             QDir().mkpath(r + "/cfg");
             ::symlink("../dots/mime/apps.list", native(r + "/cfg/mimeapps.list").constData());
         },
         "cfg/mimeapps.list", "dots/mime/apps.list", true, 0640},
        {"dangling link creates its target",
         [](const QString &r) {
             QDir().mkpath(r + "/cfg");
             QDir().mkpath(r + "/dots");
             ::symlink(native(r + "/dots/apps.list").constData(),
                       native(r + "/cfg/mimeapps.list").constData());
         },
         "cfg/mimeapps.list", "dots/apps.list", false, 0600},
        {"leftover of a killed run",
         [](const QString &r) {
             write(r + "/cfg/mimeapps.list", "old", 0644);
             write(r + "/cfg/" + temporaryPrefix("mimeapps.list") + "a1b2c3", "torn");
         },
         "cfg/mimeapps.list", "cfg/mimeapps.list", true, 0644},
    };
    for (const ReplaceCase &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        c.arrange(root.path());
        const QString list = root.path() + '/' + c.listPath;
        const QString target = root.path() + '/' + c.targetPath;
        const bool wasLink = QFileInfo(list).isSymLink();

        const FileSnapshot snapshot = readRegularFile(list);
        EXPECT_EQ(snapshot.exists, c.existed);
        EXPECT_EQ(snapshot.target, target);
        replaceDurably(snapshot, "new bytes\n");

        EXPECT_EQ(read(list), "new bytes\n");
        EXPECT_EQ(QFileInfo(list).isSymLink(), wasLink);
        EXPECT_EQ(modeOf(target), c.mode);
        EXPECT_EQ(entries(QFileInfo(target).absolutePath()), QStringList{QFileInfo(target).fileName()});
    }
}

// A folder in the list's place is MimeAppsListFaults'; a list in a read-only folder, the writer
// processes'.
TEST(DurableFile, RefusesWhatIsNotARegularFile)
{
    QTemporaryDir root;
    const QString dir = root.path();
    ::mkfifo(native(dir + "/fifo.list").constData(), 0644);
    ::symlink("/dev/null", native(dir + "/device.list").constData());

    const struct {
        const char *name;
        const char *expected;
    } refusals[] = {
        {"fifo.list", "'%1/fifo.list'은(는) 일반 파일이 아니라 FIFO이어서 읽거나 바꾸지 않았습니다."},
        {"device.list",
         "'%1/device.list'은(는) 일반 파일이 아니라 장치 파일이어서 읽거나 바꾸지 않았습니다."},
    };
    for (const auto &refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        try {
            readRegularFile(dir + '/' + refusal.name);
            ADD_FAILURE() << "read";
        } catch (const ListFileError &error) {
            EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(refusal.expected).arg(dir));
        }
    }
}

} // namespace
