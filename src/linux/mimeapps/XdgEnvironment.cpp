#include "linux/mimeapps/XdgEnvironment.h"

#include <pwd.h>
#include <unistd.h>

#include <QFile>

namespace halvora {

namespace {

QString orDefault(const QProcessEnvironment &environment, const char *name, const QString &fallback)
{
    const QString value = environment.value(QString::fromLatin1(name));
    return value.isEmpty() ? fallback : value;
}

// Only names a file name can carry safely count; the rest are dropped, order kept.
bool validDesktopName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        u == '-' || u == '_';
        if (!ok)
            return false;
    }
    return true;
}

QString homeDirectory(const QProcessEnvironment &environment)
{
    if (environment.contains(QStringLiteral("HOME")))
        return environment.value(QStringLiteral("HOME"));
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        return QFile::decodeName(entry->pw_dir);
    return QStringLiteral("/");
}

} // namespace

QStringList XdgEnvironment::desktopFilePrefixes() const
{
    QStringList prefixes;
    for (const QString &desktop : desktops) {
        QString lower;
        for (const QChar c : desktop)
            lower.append(c.unicode() >= 'A' && c.unicode() <= 'Z' ? QChar(c.unicode() + 32) : c);
        prefixes.append(lower);
    }
    return prefixes;
}

XdgEnvironment XdgEnvironment::from(const QProcessEnvironment &environment)
{
    const QString home = homeDirectory(environment);
    XdgEnvironment result;
    result.configHome = orDefault(environment, "XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    result.configDirs = orDefault(environment, "XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(u':');
    result.dataHome = orDefault(environment, "XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    result.dataDirs =
        orDefault(environment, "XDG_DATA_DIRS", QStringLiteral("/usr/local/share/:/usr/share/")).split(u':');
    for (const QString &desktop : environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(u':')) {
        if (validDesktopName(desktop))
            result.desktops.append(desktop);
    }
    return result;
}

XdgEnvironment XdgEnvironment::fromProcess()
{
    return from(QProcessEnvironment::systemEnvironment());
}

} // namespace halvora
