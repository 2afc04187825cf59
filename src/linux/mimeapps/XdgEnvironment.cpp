#include "linux/mimeapps/XdgEnvironment.h"

#include <pwd.h>
#include <unistd.h>

#include <QFile>

#include <optional>

namespace halvora {

namespace {

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

// value(name) is the variable's value, absent when unset.
template <typename Lookup> XdgEnvironment read(const Lookup &value)
{
    auto orDefault = [&](const char *name, const QString &fallback) {
        const std::optional<QString> set = value(name);
        return !set || set->isEmpty() ? fallback : *set;
    };
    QString home;
    if (const std::optional<QString> set = value("HOME"))
        home = *set;
    else if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        home = QFile::decodeName(entry->pw_dir);
    else
        home = QStringLiteral("/");

    XdgEnvironment result;
    result.configHome = orDefault("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    result.configDirs = orDefault("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(u':');
    result.dataHome = orDefault("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    result.dataDirs = orDefault("XDG_DATA_DIRS", QStringLiteral("/usr/local/share/:/usr/share/")).split(u':');
    for (const QString &desktop : value("XDG_CURRENT_DESKTOP").value_or(QString()).split(u':')) {
        if (validDesktopName(desktop))
            result.desktops.append(desktop);
    }
    return result;
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
    return read([&](const char *name) -> std::optional<QString> {
        const QString key = QString::fromLatin1(name);
        if (!environment.contains(key))
            return std::nullopt;
        return environment.value(key);
    });
}

XdgEnvironment XdgEnvironment::fromProcess()
{
    // Only the few variables asked for: copying the whole environment costs more.
    return read([](const char *name) -> std::optional<QString> {
        if (!qEnvironmentVariableIsSet(name))
            return std::nullopt;
        return qEnvironmentVariable(name);
    });
}

QString joinPath(const QString &directory, const QString &name)
{
    if (directory.isEmpty())
        return name;
    QString base = directory;
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    return base == QStringLiteral("/") ? base + name : base + u'/' + name;
}

} // namespace halvora
