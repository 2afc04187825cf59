#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace halvora {

// The small program that asks GIO itself, in a process of its own, for the default and the
// candidates of types. One output line per type:
//   TYPE <tab> DEFAULT-ID or "-" <tab> CANDIDATE-IDS joined by ";"
inline constexpr const char *gioProbeProgramName = "halvora-gio-probe";

// $HALVORA_GIO_PROBE when set, else the probe beside the running executable, else in the installed libexec
// and bin dirs; absent when none is there.
std::optional<QString> findGioProbe();

struct GioProbeLine {
    QString type;
    std::optional<QString> defaultId;
    QStringList candidateIds;

    bool operator==(const GioProbeLine &) const = default;
};

// Parses the probe's output; lines that do not have three fields are skipped.
QList<GioProbeLine> parseGioProbeOutput(const QByteArray &output);

} // namespace halvora
