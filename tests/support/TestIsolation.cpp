#include "support/TestIsolation.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace halvora::test {

namespace {
QString root;

void setAndCreate(const char *name, const QString &path)
{
    QDir().mkpath(path);
    ::setenv(name, QFile::encodeName(path).constData(), 1);
}
} // namespace

QString isolateUserEnvironment()
{
    if (!root.isEmpty())
        return root;
    QByteArray base = qgetenv("TMPDIR");
    if (base.isEmpty())
        base = "/tmp";
    std::string templ = base.toStdString() + "/halvora-test-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary directory for test isolation");
    root = QString::fromStdString(templ);
    setAndCreate("HOME", root + QStringLiteral("/home"));
    setAndCreate("XDG_CONFIG_HOME", root + QStringLiteral("/home/.config"));
    setAndCreate("XDG_DATA_HOME", root + QStringLiteral("/home/.local/share"));
    setAndCreate("XDG_STATE_HOME", root + QStringLiteral("/home/.local/state"));
    setAndCreate("XDG_CACHE_HOME", root + QStringLiteral("/home/.cache"));
    setAndCreate("XDG_RUNTIME_DIR", root + QStringLiteral("/runtime"));
    ::chmod(QFile::encodeName(root + QStringLiteral("/runtime")).constData(), 0700);
    setAndCreate("XDG_DATA_DIRS", root + QStringLiteral("/usr/share"));
    setAndCreate("XDG_CONFIG_DIRS", root + QStringLiteral("/etc/xdg"));
    // No desktop session: GIO must not pick desktop-specific lists of the real session.
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("GIO_USE_VFS", "local", 1);
    return root;
}

QString isolatedRoot()
{
    return root;
}

} // namespace halvora::test
