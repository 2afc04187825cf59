#include "linux/mimeapps/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace halvora::mimeapps {

ListFileError::ListFileError(QString path, QString description)
    : LocalizedError(std::move(description)), path_(std::move(path))
{}

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

QString reasonOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("권한이 없습니다");
    case EROFS:
        return QStringLiteral("읽기 전용 파일 시스템입니다");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("저장 공간이 부족합니다");
    case ELOOP:
        return QStringLiteral("심볼릭 링크가 너무 많이 이어집니다");
    case ENOTDIR:
        return QStringLiteral("경로 중간에 폴더가 아닌 것이 있습니다");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

[[noreturn]] void failWrite(const QString &path, const QString &where, int error)
{
    throw ListFileError(path, QStringLiteral("'%1' 파일을 바꾸지 못했습니다(%2: %3). 파일은 그대로입니다.")
                                  .arg(path, where, reasonOf(error)));
}

// Follows links one step at a time, so that a dangling link still names the file it would
// create; relative targets count from the link's directory.
QString followLinks(const QString &path)
{
    QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(native(current).constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        QByteArray target(info.st_size > 0 ? info.st_size + 1 : 4096, '\0');
        const ssize_t length = ::readlink(native(current).constData(), target.data(), size_t(target.size()));
        if (length < 0)
            return current;
        target.truncate(length);
        const QString next = QFile::decodeName(target);
        current = QDir::cleanPath(
            QDir::isAbsolutePath(next) ? next : QFileInfo(current).absolutePath() + u'/' + next);
    }
    throw ListFileError(path, QStringLiteral("'%1' 파일을 읽을 수 없습니다: %2").arg(path, reasonOf(ELOOP)));
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("폴더");
    if (S_ISFIFO(mode))
        return QStringLiteral("FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("소켓");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("장치 파일");
    return QStringLiteral("특수 파일");
}

[[noreturn]] void refuseNotRegular(const QString &path, mode_t mode)
{
    throw ListFileError(path,
                        QStringLiteral("'%1'은(는) 일반 파일이 아니라 %2이어서 읽거나 바꾸지 않았습니다.")
                            .arg(path, kindOf(mode)));
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += written;
    }
    return true;
}

void syncDirectory(const QString &directory)
{
    const Descriptor fd(::open(native(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

// Leftovers of runs killed between creating their temporary file and renaming it.
void removeLeftoversIn(const QString &directory, const QString &fileName)
{
    const QByteArray prefix = native(temporaryPrefix(fileName));
    DIR *dir = ::opendir(native(directory).constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.constData(), size_t(prefix.size())) == 0)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

void makeDirectories(const QString &path, const QString &directory)
{
    if (QFileInfo(directory).isDir())
        return;
    makeDirectories(path, QFileInfo(directory).absolutePath());
    if (::mkdir(native(directory).constData(), 0700) != 0 && errno != EEXIST)
        failWrite(path, QStringLiteral("'%1' 폴더를 만들 수 없음").arg(directory), errno);
}

} // namespace

QString temporaryPrefix(const QString &fileName)
{
    return QStringLiteral(".%1.halvora-").arg(fileName);
}

void removeLeftovers(const QString &path)
{
    const QFileInfo target(followLinks(path));
    removeLeftoversIn(target.absolutePath(), target.fileName());
}

FileSnapshot readRegularFile(const QString &path)
{
    FileSnapshot snapshot;
    snapshot.path = path;
    snapshot.target = followLinks(path);

    struct stat info {};
    if (::stat(native(snapshot.target).constData(), &info) != 0) {
        if (errno == ENOENT)
            return snapshot;
        throw ListFileError(path,
                            QStringLiteral("'%1' 파일을 읽을 수 없습니다: %2").arg(path, reasonOf(errno)));
    }
    if (!S_ISREG(info.st_mode))
        refuseNotRegular(path, info.st_mode);

    // Non-blocking and without following a link that appeared since: what is opened must
    // still be the regular file just looked at.
    const Descriptor fd(::open(native(snapshot.target).constData(),
                               O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        throw ListFileError(path,
                            QStringLiteral("'%1' 파일을 읽을 수 없습니다: %2").arg(path, reasonOf(errno)));
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        refuseNotRegular(path, info.st_mode);

    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw ListFileError(
                path, QStringLiteral("'%1' 파일을 읽을 수 없습니다: %2").arg(path, reasonOf(errno)));
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    snapshot.exists = true;
    snapshot.bytes = std::move(bytes);
    snapshot.mode = info.st_mode & 07777;
    return snapshot;
}

void replaceDurably(const FileSnapshot &snapshot, const QByteArray &bytes)
{
    const QString &path = snapshot.path;
    const QFileInfo target(snapshot.target);
    const QString directory = target.absolutePath();
    makeDirectories(path, directory);
    removeLeftoversIn(directory, target.fileName());

    QByteArray temporary =
        native(directory + u'/' + temporaryPrefix(target.fileName()) + QStringLiteral("XXXXXX"));
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0)
        failWrite(path, QStringLiteral("'%1' 폴더에 쓸 수 없음").arg(directory), errno);

    struct Cleanup {
        const QByteArray &name;
        bool armed = true;
        ~Cleanup()
        {
            if (armed)
                ::unlink(name.constData());
        }
    } cleanup{temporary};

    if (::fchmod(fd.get(), mode_t(snapshot.mode)) != 0 || !writeAll(fd.get(), bytes) ||
        ::fsync(fd.get()) != 0)
        failWrite(path, QStringLiteral("임시 파일 쓰기"), errno);
    if (::close(fd.release()) != 0)
        failWrite(path, QStringLiteral("임시 파일 쓰기"), errno);
    if (::rename(temporary.constData(), native(snapshot.target).constData()) != 0)
        failWrite(path, QStringLiteral("'%1' 폴더에 쓸 수 없음").arg(directory), errno);
    cleanup.armed = false;
    syncDirectory(directory);
}

void removeDurably(const FileSnapshot &snapshot)
{
    if (::unlink(native(snapshot.target).constData()) != 0 && errno != ENOENT)
        failWrite(snapshot.path, QStringLiteral("파일 지우기"), errno);
    syncDirectory(QFileInfo(snapshot.target).absolutePath());
}

} // namespace halvora::mimeapps
