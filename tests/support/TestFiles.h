// Files as the tests of the desktop and its lists arrange and inspect them, and the failures
// they expect.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <optional>
#include <stdexcept>

namespace halvora::test {

// Creates the folders on the way; a failure throws, which fails the test.
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Hidden ones included, sorted by name.
inline QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

// The error an operation throws; none when it succeeds.
template <typename Error> std::optional<Error> failureOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const Error &error) {
        return error;
    }
    return std::nullopt;
}

} // namespace halvora::test
