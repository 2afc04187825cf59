#include "cli/TextTable.h"

#include <QChar>

#include <algorithm>

namespace halvora::cli {

namespace {

bool isBidiControl(char32_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
           c == 0x061C;
}

bool isWide(char32_t c)
{
    // The wide and fullwidth blocks that occur in names and in our own Korean texts.
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
           (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
           (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) ||
           (c >= 0x20000 && c <= 0x2FFFD) || (c >= 0x30000 && c <= 0x3FFFD);
}

const char *escapeFor(CellColour colour)
{
    switch (colour) {
    case CellColour::none:
        return nullptr;
    case CellColour::green:
        return "\x1b[32m";
    case CellColour::yellow:
        return "\x1b[33m";
    case CellColour::red:
        return "\x1b[31m";
    case CellColour::dim:
        return "\x1b[2m";
    }
    return nullptr;
}

} // namespace

QString sanitizedForTerminal(const QString &text, bool keepLineBreaks)
{
    QString result;
    result.reserve(text.size());
    for (char32_t c : text.toUcs4()) {
        if (c == U'\n' && keepLineBreaks) {
            result.append(u'\n');
        } else if (c == U'\t' || c == U'\n' || c == U'\r') {
            result.append(u' ');
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || isBidiControl(c)) {
            result.append(QChar(QChar::ReplacementCharacter));
        } else {
            result.append(QString::fromUcs4(&c, 1));
        }
    }
    return result;
}

int displayWidth(const QString &text)
{
    int width = 0;
    for (char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
            category == QChar::Other_Format || category == QChar::Other_Control)
            continue;
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

QString coloured(const QString &text, CellColour colour)
{
    const char *escape = escapeFor(colour);
    if (!escape)
        return text;
    return QString::fromLatin1(escape) + text + QStringLiteral("\x1b[0m");
}

QString renderTable(const QList<TableColumn> &columns, const QList<QList<TableCell>> &rows, bool colour)
{
    const qsizetype count = columns.size();
    QList<int> widths(count, 0);
    auto cellText = [](const QList<TableCell> &row, qsizetype column) {
        return column < row.size() ? sanitizedForTerminal(row.at(column).text) : QString();
    };
    for (qsizetype column = 0; column < count; ++column) {
        widths[column] = displayWidth(columns.at(column).heading);
        for (const QList<TableCell> &row : rows)
            widths[column] = std::max(widths[column], displayWidth(cellText(row, column)));
    }

    QString out;
    auto appendLine = [&](const QList<TableCell> &cells) {
        // The last non-empty cell ends the line, so no line carries trailing blanks.
        qsizetype last = count - 1;
        while (last > 0 && (last >= cells.size() || cells.at(last).text.isEmpty()) &&
               !columns.at(last).alignRight)
            --last;
        for (qsizetype column = 0; column <= last; ++column) {
            const QString text = cellText(cells, column);
            const QString padding(widths[column] - displayWidth(text), u' ');
            const CellColour cellColour =
                colour && column < cells.size() ? cells.at(column).colour : CellColour::none;
            if (column > 0)
                out.append(QStringLiteral("  "));
            if (columns.at(column).alignRight)
                out.append(padding + coloured(text, cellColour));
            else
                out.append(coloured(text, cellColour) + (column < last ? padding : QString()));
        }
        out.append(u'\n');
    };

    QList<TableCell> headings;
    for (const TableColumn &column : columns)
        headings.append({column.heading, CellColour::dim});
    appendLine(headings);
    for (const QList<TableCell> &row : rows)
        appendLine(row);
    return out;
}

} // namespace halvora::cli
