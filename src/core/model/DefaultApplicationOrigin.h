#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace halvora {

// Why the desktop answers what it answers for a type, in the user's language: where the
// default was named, what was passed over on the way, and where each candidate comes from.
struct DefaultApplicationOrigin {
    // One line for the detail pane, e.g. "~/.config/mimeapps.list 12행에서 지정".
    QString summary;
    // The whole chain, one step a line, the deciding step last.
    QStringList chain;
    // A file other than the user's own mimeapps.list decided.
    bool decidedOutsideUserList = false;
    // A desktop-specific or system list decided although the user's list names a default.
    bool overridesUserList = false;

    struct Candidate {
        QString desktopId;
        QString source;

        bool operator==(const Candidate &) const = default;
    };
    QList<Candidate> candidates;

    bool operator==(const DefaultApplicationOrigin &) const = default;
};

} // namespace halvora
