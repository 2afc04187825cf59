#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace halvora {

// What stat() says about a file, enough to tell whether it changed since it was read.
// A file changed within the current clock tick may change again without its stamp
// changing, so such a stamp is "unsettled" and never trusted for reuse.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    bool directory = false;
    bool regular = false;
    bool unsettled = false;

    // Follows symbolic links; absent when nothing (or a dangling link) is there.
    static std::optional<FileStamp> of(const QString &path);

    // True when what was read under `earlier` may be reused now.
    bool sameAs(const FileStamp &earlier) const;
};

// One reading of the desktop on this thread: while the outermost one lasts, each path is
// asked about once and later questions get that answer, so that a reading sees one state
// of every file however often it looks. Nested readings join the outer one.
class StampReading {
public:
    StampReading();
    ~StampReading();
    StampReading(const StampReading &) = delete;
    StampReading &operator=(const StampReading &) = delete;

private:
    bool owner_ = false;
};

} // namespace halvora
