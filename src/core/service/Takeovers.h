#pragma once

#include "core/model/Models.h"

#include <QList>
#include <QString>

#include <optional>

namespace halvora {

// An extension whose default the user chose here and that something else has changed since:
// the newest record of the extension or of its content type (a change of one extension
// changes every extension of its type) is a verified change or a verified undo, and the
// default loaded now is not the application that record left in place.
struct Takeover {
    // As loaded now.
    FileAssociation association;
    // The newest record of the extension or its content type.
    AssociationChangeRecord record;
    // What that record left as the default: as installed now when it is still a candidate,
    // otherwise as recorded.
    AssociatedApp chosenApp;
    // What decides the default now, one Korean line (the summary of the association's
    // origin); absent when the loader did not say.
    std::optional<QString> decidedBy;

    bool operator==(const Takeover &) const = default;
};

// The application a record left as the default when it was confirmed: the replacement of a
// verified change, the previous application of a verified undo; nothing otherwise.
std::optional<AssociatedApp> confirmedApp(const AssociationChangeRecord &record);

// history newest first, as the state and the store hold it. Applications are compared by
// bundle identifier, as verification compares them; no default at all counts as taken over.
std::optional<Takeover> takeoverOf(const FileAssociation &association,
                                   const QList<AssociationChangeRecord> &history);
// Every taken-over association, in the given order.
QList<Takeover> takeovers(const QList<FileAssociation> &associations,
                          const QList<AssociationChangeRecord> &history);

// Each extension the history names, once, newest first: the ones that may be taken over.
QStringList recordedExtensions(const QList<AssociationChangeRecord> &history);

} // namespace halvora
