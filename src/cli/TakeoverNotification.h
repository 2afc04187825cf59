#pragma once

#include "core/service/Takeovers.h"

#include <QList>
#include <QString>

#include <optional>

namespace halvora::cli {

// Shows one desktop notification that names the taken-over extensions, through the
// session bus's notification service. Returns why it could not, or nothing.
std::optional<QString> notifyTakeovers(const QList<Takeover> &takeovers);

} // namespace halvora::cli
