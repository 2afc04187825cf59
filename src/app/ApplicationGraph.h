#pragma once

#include "core/model/Models.h"

#include <QLocale>
#include <QString>
#include <QUrl>

#include <memory>

namespace halvora {

class AssociationChangeHistoryStore;
class HalvoraState;

// The objects the program keeps for its whole life, built once at start in this order: the
// system client over the user's mimeapps.list, the history store in the per-user SQLite
// file, the default catalog, the service and the state. Building loads nothing.
class ApplicationGraph {
public:
    static inline const QString historyKey = QStringLiteral("associationChangeHistory");
    static inline const QString legacyRecentChangeKey = QStringLiteral("recentAssociationChange");
    static constexpr int maxHistoryRecords = 50;

    ApplicationGraph();
    ~ApplicationGraph();

    HalvoraState &state() const { return *state_; }

    // Describes a desktop entry the user picked, with a fresh client configured like the
    // service's; throws the client's failure (appMissingBundleIdentifier, ...).
    static AssociatedApp describeApplication(const QUrl &url);

private:
    std::shared_ptr<AssociationChangeHistoryStore> store_;
    std::unique_ptr<HalvoraState> state_;
};

// What the program does at start on the display: names the application for the desktop,
// picks an icon theme and points application icons at the desktop entries.
void prepareApplication();

// Qt's own texts (file dialog, context menus) in the locale's language, from the
// translations installed with Qt; nothing changes when there are none for it.
void installQtTranslations(const QLocale &locale);

} // namespace halvora
