#pragma once

#include "core/history/KeyValueStore.h"
#include "core/service/ChangeGuard.h"
#include "linux/mimeapps/MimeAppsResolver.h"

#include <memory>

namespace halvora::mimeapps {

// The change guard of the window and the command line alike: the lock and intent journal
// in the state directory, list images in store, and the second look of MimeAppsWriter.
std::shared_ptr<ChangeGuard> makeDesktopChangeGuard(std::shared_ptr<KeyValueStore> store,
                                                    std::shared_ptr<const MimeAppsResolver> resolver);

} // namespace halvora::mimeapps
