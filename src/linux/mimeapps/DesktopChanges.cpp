#include "linux/mimeapps/DesktopChanges.h"

#include "linux/mimeapps/ChangeJournal.h"
#include "linux/mimeapps/MimeAppsWriter.h"

namespace halvora::mimeapps {

std::shared_ptr<ChangeGuard> makeDesktopChangeGuard(std::shared_ptr<KeyValueStore> store,
                                                    std::shared_ptr<const MimeAppsResolver> resolver)
{
    auto writer = std::make_shared<const MimeAppsWriter>(std::move(resolver));
    return std::make_shared<JournaledChangeGuard>(
        JournaledChangeGuard::defaultStateDirectory(), std::move(store),
        [writer](const QString &contentType, const AssociatedApp &expected) {
            return writer->disagreement(contentType, expected.bundleIdentifier());
        });
}

} // namespace halvora::mimeapps
