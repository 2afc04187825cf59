#pragma once

#include "core/model/LocalizedError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace halvora::mimeapps {

// Which groups of a list count: a desktop-specific list ($desktop-mimeapps.list) is read for
// its defaults only, so nothing else is ever written there.
enum class ListKind { general, desktopSpecific };

// A list that GKeyFile would refuse; such a list is never rewritten. The editor knows only the
// bytes; whoever read the file adds its path with inFile().
class ListSyntaxError : public LocalizedError {
public:
    // line is 1-based; 0 when no single line can be blamed.
    ListSyntaxError(int line, QString reason, QString path = QString());

    int line() const { return line_; }
    const QString &reason() const { return reason_; }
    const QString &path() const { return path_; }
    ListSyntaxError inFile(const QString &path) const { return ListSyntaxError(line_, reason_, path); }

    HALVORA_LOCALIZED_ERROR_CLONE(ListSyntaxError)

private:
    int line_;
    QString reason_;
    QString path_;
};

// The lines of one key in one group as they stood, without line ends; no lines when the key
// was absent. An undo puts exactly these back.
struct EntryImage {
    QString group;
    QList<QByteArray> lines;
    bool groupExisted = false;

    bool operator==(const EntryImage &) const = default;
};

// Edits the bytes of a mimeapps list line by line: only the lines of the one key in the
// groups concerned change, everything else (comments, blank lines, order, other groups,
// translated keys, line ends, the other IDs of a list) stays byte for byte. Every function
// throws ListSyntaxError for bytes GKeyFile cannot parse.
class ListEditor {
public:
    static inline const QString defaultGroup = QStringLiteral("Default Applications");
    static inline const QString addedGroup = QStringLiteral("Added Associations");
    static inline const QString removedGroup = QStringLiteral("Removed Associations");

    // The groups a change of a default touches in a list of this kind.
    static QList<QString> groups(ListKind kind);

    // Throws ListSyntaxError when GKeyFile would refuse the bytes.
    static void check(const QByteArray &bytes);

    // id becomes the first item of the type's key in [Default Applications] and, in a general
    // list, in [Added Associations]; it leaves the key in [Removed Associations]. Other IDs
    // keep their order after it; a list left empty loses its key.
    static QByteArray makeDefault(const QByteArray &bytes, const QString &type, const QString &id,
                                  ListKind kind);

    // The items of the type's key in a group, unescaped; empty when absent.
    static QList<QString> items(const QByteArray &bytes, const QString &group, const QString &type);

    // The type's entries in the groups of this kind, for a later restore().
    static QList<EntryImage> image(const QByteArray &bytes, const QString &type, ListKind kind);

    // Puts the type's entries back as the images hold them. A group that did not exist
    // before and is empty again goes away with the separating blank line added with it.
    static QByteArray restore(const QByteArray &bytes, const QString &type, const QList<EntryImage> &images);
};

} // namespace halvora::mimeapps
