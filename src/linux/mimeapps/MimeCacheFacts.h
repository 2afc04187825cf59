#pragma once

#include "linux/mimeapps/MimeAppsResolver.h"

#include <memory>

namespace halvora {

// Aliases and direct parents read from the binary mime.cache files of the environment's
// MIME directories ($XDG_DATA_HOME/mime, then each $XDG_DATA_DIRS/mime), the files the
// desktop's own lookups use; re-read whenever a cache file changes.
std::shared_ptr<const MimeTypeFacts> mimeCacheFacts(const XdgEnvironment &environment);

} // namespace halvora
