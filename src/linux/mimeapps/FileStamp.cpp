#include "linux/mimeapps/FileStamp.h"

#include <sys/stat.h>

#include <QFile>
#include <QHash>

#include <ctime>

namespace halvora {

namespace {

std::int64_t nanoseconds(const timespec &time)
{
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// File times come from the kernel's coarse clock. A change stamped in the tick we are still
// in can be followed by another in the same tick with the same size, invisible to stat.
// The margin covers coarse ticks up to 10 ms (HZ=100).
constexpr std::int64_t unsettledMarginNs = 20'000'000;

thread_local QHash<QString, std::optional<FileStamp>> *reading = nullptr;

std::optional<FileStamp> statNow(const QString &path);

} // namespace

std::optional<FileStamp> FileStamp::of(const QString &path)
{
    if (!reading)
        return statNow(path);
    if (const auto known = reading->constFind(path); known != reading->cend())
        return *known;
    std::optional<FileStamp> stamp = statNow(path);
    reading->insert(path, stamp);
    return stamp;
}

StampReading::StampReading() : owner_(reading == nullptr)
{
    if (owner_)
        reading = new QHash<QString, std::optional<FileStamp>>();
}

StampReading::~StampReading()
{
    if (owner_) {
        delete reading;
        reading = nullptr;
    }
}

namespace {

std::optional<FileStamp> statNow(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    FileStamp stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.mtimeNs = nanoseconds(info.st_mtim);
    stamp.ctimeNs = nanoseconds(info.st_ctim);
    stamp.directory = S_ISDIR(info.st_mode);
    stamp.regular = S_ISREG(info.st_mode);
    const std::int64_t latest = std::max(stamp.mtimeNs, stamp.ctimeNs);
    stamp.unsettled = latest + unsettledMarginNs >= nanoseconds(now);
    return stamp;
}

} // namespace

bool FileStamp::sameAs(const FileStamp &earlier) const
{
    return !unsettled && !earlier.unsettled && device == earlier.device && inode == earlier.inode &&
           size == earlier.size && mtimeNs == earlier.mtimeNs && ctimeNs == earlier.ctimeNs &&
           directory == earlier.directory;
}

} // namespace halvora
