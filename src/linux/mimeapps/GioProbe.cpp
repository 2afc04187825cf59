#include "linux/mimeapps/GioProbe.h"

#include <QCoreApplication>
#include <QFileInfo>

#ifndef HALVORA_INSTALL_LIBEXECDIR
#define HALVORA_INSTALL_LIBEXECDIR "/usr/local/libexec"
#endif
#ifndef HALVORA_INSTALL_BINDIR
#define HALVORA_INSTALL_BINDIR "/usr/local/bin"
#endif

namespace halvora {

std::optional<QString> findGioProbe()
{
    if (const QString chosen = qEnvironmentVariable("HALVORA_GIO_PROBE"); !chosen.isEmpty())
        return chosen;
    QStringList places;
    // An explicit choice first, then the running executable's directory: the build tree and an installed bin
    // dir alike.
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!self.isEmpty())
        places.append(QFileInfo(self).absolutePath());
    places.append(QStringLiteral(HALVORA_INSTALL_LIBEXECDIR));
    places.append(QStringLiteral(HALVORA_INSTALL_BINDIR));
    QStringList candidates;
    for (const QString &place : places)
        candidates.append(place + u'/' + QLatin1String(gioProbeProgramName));
#ifdef HALVORA_BUILT_GIO_PROBE
    candidates.append(QStringLiteral(HALVORA_BUILT_GIO_PROBE));
#endif
    for (const QString &candidate : candidates) {
        const QFileInfo probe(candidate);
        if (probe.isFile() && probe.isExecutable())
            return probe.absoluteFilePath();
    }
    return std::nullopt;
}

QList<GioProbeLine> parseGioProbeOutput(const QByteArray &output)
{
    QList<GioProbeLine> lines;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3)
            continue;
        GioProbeLine parsed{QString::fromUtf8(fields[0]), std::nullopt, {}};
        if (fields[1] != "-")
            parsed.defaultId = QString::fromUtf8(fields[1]);
        if (!fields[2].isEmpty())
            parsed.candidateIds = QString::fromUtf8(fields[2]).split(u';');
        lines.append(std::move(parsed));
    }
    return lines;
}

} // namespace halvora
