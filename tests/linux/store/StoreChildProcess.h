#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace halvora::test {

// The test binary started again as a second process that saves records into a store file
// and reports on standard output, one line each: "ready" once the store is open, "saved ID"
// after every save that returned, "error REASON DESCRIPTION" when a save failed.
//
// Modes: "save" saves `count` records PREFIX-0, PREFIX-1, ...; "fill" does the same under a
// file-size limit of `fileSizeLimit` bytes until a save fails.
class StoreChildProcess {
public:
    StoreChildProcess(const QString &mode, const QString &filePath, const QString &prefix, int count,
                      qint64 fileSizeLimit = 0);
    ~StoreChildProcess();

    // Reads lines until one starts with `prefix`; false on timeout or exit.
    bool waitForLine(const QString &prefix, int timeoutMs = 60000);
    void kill() { process_.kill(); }
    // Waits for the end and reads what is left; true when it exited normally with status 0.
    bool finish(int timeoutMs = 120000);

    const QStringList &savedIds() const { return savedIds_; }
    const QStringList &errors() const { return errors_; }

private:
    void take(const QString &line);

    QProcess process_;
    QStringList savedIds_;
    QStringList errors_;
};

// Runs the child's work and ends the process when this process was started as a child;
// does nothing otherwise. Called before any test runs.
void runStoreChildIfRequested();

} // namespace halvora::test
