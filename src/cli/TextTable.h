#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace halvora::cli {

// Terminal colours for a cell; used only when the output allows colour.
enum class CellColour { none, green, yellow, red, dim };

struct TableCell {
    QString text;
    CellColour colour = CellColour::none;
};

struct TableColumn {
    QString heading;
    bool alignRight = false;
};

// Replaces control characters, and the bidirectional overrides that reorder what follows
// them, so that names read from desktop entries cannot move the cursor or recolour the
// terminal. Tabs and line breaks become spaces unless keepLineBreaks (then only "\n" stays).
QString sanitizedForTerminal(const QString &text, bool keepLineBreaks = false);

// Columns a text takes in a terminal: East Asian wide characters (Hangul, CJK) take two,
// combining marks none.
int displayWidth(const QString &text);

// Columns separated by two spaces, padded by display width, without trailing blanks.
// Headings are dimmed and cells coloured only when `colour` is set.
QString renderTable(const QList<TableColumn> &columns, const QList<QList<TableCell>> &rows, bool colour);

// Wraps text in the escape sequence of a colour (nothing for CellColour::none).
QString coloured(const QString &text, CellColour colour);

} // namespace halvora::cli
