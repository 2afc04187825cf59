#include "linux/store/StoreChildProcess.h"

#include "core/history/HistoryTestSupport.h"
#include "core/history/KeyValueStoreError.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "linux/store/SqliteKeyValueStore.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace halvora::test {

namespace {

constexpr char modeVariable[] = "HALVORA_STORE_CHILD";

void report(const QString &line)
{
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

int runChild(const QString &mode)
{
    const QString filePath = qEnvironmentVariable("HALVORA_STORE_FILE");
    const QString prefix = qEnvironmentVariable("HALVORA_STORE_PREFIX");
    const int count = qEnvironmentVariableIntValue("HALVORA_STORE_COUNT");
    if (mode == u"fill"_qs) {
        // Past the limit a write comes up short, as on a full disk; the signal would kill us.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = qEnvironmentVariable("HALVORA_STORE_FILE_SIZE_LIMIT").toULongLong();
        const rlimit fileSize{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0)
            return 2;
    }
    UserDefaultsAssociationChangeHistoryStore store(std::make_shared<SqliteKeyValueStore>(filePath),
                                                    u"associationChangeHistory"_qs,
                                                    u"recentAssociationChange"_qs, 1000000);
    store.loadHistory();
    report(u"ready"_qs);
    for (int i = 0; i < count; ++i) {
        const QString id = u"%1-%2"_qs.arg(prefix).arg(i);
        try {
            store.save(historyRecord(id, 1000 + i));
        } catch (const KeyValueStoreError &error) {
            report(u"error %1 %2"_qs.arg(int(error.reason())).arg(error.localizedDescription()));
            return 0;
        }
        report(u"saved "_qs + id);
    }
    return mode == u"fill"_qs ? 3 : 0;
}

} // namespace

StoreChildProcess::StoreChildProcess(const QString &mode, const QString &filePath, const QString &prefix,
                                     int count, qint64 fileSizeLimit)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(modeVariable), mode);
    environment.insert(u"HALVORA_STORE_FILE"_qs, filePath);
    environment.insert(u"HALVORA_STORE_PREFIX"_qs, prefix);
    environment.insert(u"HALVORA_STORE_COUNT"_qs, QString::number(count));
    environment.insert(u"HALVORA_STORE_FILE_SIZE_LIMIT"_qs, QString::number(fileSizeLimit));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QCoreApplication::applicationFilePath(), {});
}

StoreChildProcess::~StoreChildProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
}

void StoreChildProcess::take(const QString &line)
{
    if (line.startsWith(u"saved "_qs))
        savedIds_.append(line.mid(6));
    else if (line.startsWith(u"error "_qs))
        errors_.append(line.mid(6));
}

bool StoreChildProcess::waitForLine(const QString &prefix, int timeoutMs)
{
    while (true) {
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            take(line);
            if (line.startsWith(prefix))
                return true;
        }
        if (!process_.waitForReadyRead(timeoutMs))
            return false;
    }
}

bool StoreChildProcess::finish(int timeoutMs)
{
    const bool finished = process_.waitForFinished(timeoutMs);
    for (const QByteArray &line : process_.readAllStandardOutput().split('\n'))
        take(QString::fromUtf8(line).trimmed());
    return finished && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

void runStoreChildIfRequested()
{
    const QString mode = qEnvironmentVariable(modeVariable);
    if (mode.isEmpty())
        return;
    int status = 1;
    try {
        status = runChild(mode);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "store child failed: %s\n", error.what());
    }
    std::fflush(stdout);
    std::_Exit(status);
}

} // namespace halvora::test
