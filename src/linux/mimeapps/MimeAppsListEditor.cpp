#include "linux/mimeapps/MimeAppsListEditor.h"

#include <glib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace halvora::mimeapps {

ListSyntaxError::ListSyntaxError(int line, QString reason, QString path)
    : LocalizedError(
          path.isEmpty() ? QStringLiteral("목록을 해석할 수 없습니다: %1").arg(reason)
          : line > 0
              ? QStringLiteral("'%1' 파일의 %2번째 줄을 해석할 수 없어 파일을 바꾸지 않았습니다: %3")
                    .arg(path)
                    .arg(line)
                    .arg(reason)
              : QStringLiteral("'%1' 파일을 해석할 수 없어 파일을 바꾸지 않았습니다: %2").arg(path, reason)),
      line_(line), reason_(std::move(reason)), path_(std::move(path))
{}

namespace {

// One line of the file: its text without the line end, and the line end itself ("\n",
// "\r\n", or nothing on a last line without one), so that joining them gives the bytes back.
struct Line {
    enum class Kind { blank, group, key, other };
    QByteArray text;
    QByteArray end;
    Kind kind = Kind::blank;
    // The group or key name as GKeyFile sees it.
    QByteArray name;
    // Where the value starts in text (keys only).
    qsizetype valueStart = 0;
    // The group this line belongs to; empty before the first group.
    QByteArray group;
    // Why GKeyFile would refuse it (kind other, or a bad name); empty when it would not.
    QString fault;
};

struct Document {
    QList<Line> lines;
    // The line end of new lines: the file's own when it has one.
    QByteArray eol = "\n";
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

bool validGroupName(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    for (const char c : name) {
        if (c == '[' || c == ']' || isControl(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// A key, optionally with a [locale] suffix; no blank at either end of the bare key.
bool validKeyName(const QByteArray &key)
{
    qsizetype q = 0;
    while (q < key.size() && key[q] != '=' && key[q] != '[' && key[q] != ']')
        ++q;
    if (q == 0 || key[0] == ' ' || key[q - 1] == ' ')
        return false;
    if (q < key.size() && key[q] == '[') {
        ++q;
        while (q < key.size()) {
            const auto c = static_cast<unsigned char>(key[q]);
            if (!(g_ascii_isalnum(c) || c >= 0x80 || c == '-' || c == '_' || c == '.' || c == '@'))
                break;
            ++q;
        }
        if (q >= key.size() || key[q] != ']')
            return false;
        ++q;
    }
    return q == key.size();
}

// Classifies a line the way GKeyFile's parser does (it stops reading a line at a NUL byte).
void classify(Line &line, QByteArray &currentGroup, bool firstLine)
{
    QByteArray text = line.text;
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text.truncate(nul);
    qsizetype start = 0;
    while (start < text.size() && isSpace(text[start]))
        ++start;
    const QByteArray rest = text.mid(start);
    line.group = currentGroup;

    if (rest.isEmpty() || rest.startsWith('#')) {
        line.kind = Line::Kind::blank;
        return;
    }
    if (rest.startsWith('[')) {
        const qsizetype close = rest.indexOf(']');
        bool onlyBlanksAfter = close > 0;
        for (qsizetype i = close + 1; onlyBlanksAfter && i < rest.size(); ++i)
            onlyBlanksAfter = rest[i] == ' ' || rest[i] == '\t';
        if (onlyBlanksAfter) {
            line.kind = Line::Kind::group;
            line.name = rest.mid(1, close - 1);
            if (!validGroupName(line.name))
                line.fault = QStringLiteral("그룹 이름 '%1'이(가) 올바르지 않습니다.")
                                 .arg(QString::fromUtf8(line.name));
            currentGroup = line.name;
            line.group = currentGroup;
            return;
        }
    }
    const qsizetype equals = rest.indexOf('=');
    if (equals > 0) {
        line.kind = Line::Kind::key;
        qsizetype keyEnd = equals;
        while (keyEnd > 0 && isSpace(rest[keyEnd - 1]))
            --keyEnd;
        line.name = rest.left(keyEnd);
        qsizetype value = equals + 1;
        while (value < rest.size() && isSpace(rest[value]))
            ++value;
        line.valueStart = start + value;
        if (currentGroup.isEmpty())
            line.fault = QStringLiteral("첫 그룹 머리글([...])보다 앞에 키가 있습니다.");
        else if (!validKeyName(line.name))
            line.fault =
                QStringLiteral("키 이름 '%1'이(가) 올바르지 않습니다.").arg(QString::fromUtf8(line.name));
        return;
    }
    line.kind = Line::Kind::other;
    line.fault = firstLine && text.startsWith("\xEF\xBB\xBF")
                     ? QStringLiteral("파일 맨 앞에 UTF-8 BOM이 있습니다.")
                     : QStringLiteral("키=값, [그룹], 주석 중 어느 것도 아닌 줄입니다.");
}

Document parse(const QByteArray &bytes)
{
    Document document;
    QByteArray currentGroup;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', at);
        Line line;
        if (newline < 0) {
            line.text = bytes.mid(at);
            at = bytes.size();
        } else {
            const bool crlf = newline > at && bytes[newline - 1] == '\r';
            line.text = bytes.mid(at, newline - at - (crlf ? 1 : 0));
            line.end = crlf ? QByteArray("\r\n") : QByteArray("\n");
            at = newline + 1;
        }
        classify(line, currentGroup, document.lines.isEmpty());
        document.lines.append(std::move(line));
    }
    if (!document.lines.isEmpty() && !document.lines.first().end.isEmpty())
        document.eol = document.lines.first().end;
    return document;
}

QByteArray serialize(const Document &document)
{
    QByteArray bytes;
    for (const Line &line : document.lines)
        bytes += line.text + line.end;
    return bytes;
}

// A list value split on unescaped ';', each item as written (escapes kept).
struct Items {
    QList<QByteArray> raw;
    bool trailingSeparator = true;
};

Items split(const QByteArray &value)
{
    Items items;
    items.trailingSeparator = value.isEmpty() || value.endsWith(';');
    QByteArray current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            current += value.mid(i, 2);
            ++i;
        } else if (value[i] == ';') {
            items.raw.append(std::exchange(current, {}));
        } else {
            current += value[i];
        }
    }
    if (!value.isEmpty() && (!current.isEmpty() || !items.trailingSeparator))
        items.raw.append(current);
    return items;
}

QString unescape(const QByteArray &raw)
{
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 >= raw.size()) {
            out += raw[i];
            continue;
        }
        const char next = raw[++i];
        switch (next) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        case ';':
            out += ';';
            break;
        default:
            out += '\\';
            out += next;
            break;
        }
    }
    return QString::fromUtf8(out);
}

QByteArray escape(const QString &text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case ';':
            out += "\\;";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? QByteArray("\\s") : QByteArray(" ");
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

QByteArray join(const QList<QByteArray> &raw, bool trailingSeparator)
{
    QByteArray value = raw.join(';');
    if (trailingSeparator)
        value += ';';
    return value;
}

QList<qsizetype> occurrences(const Document &document, const QByteArray &group, const QByteArray &key)
{
    QList<qsizetype> found;
    for (qsizetype i = 0; i < document.lines.size(); ++i) {
        const Line &line = document.lines[i];
        if (line.kind == Line::Kind::key && line.group == group && line.name == key && line.fault.isEmpty())
            found.append(i);
    }
    return found;
}

struct Section {
    qsizetype header;
    // One past the section's last line.
    qsizetype end;
};

QList<Section> sections(const Document &document, const QByteArray &group)
{
    QList<Section> found;
    for (qsizetype i = 0; i < document.lines.size(); ++i) {
        if (document.lines[i].kind != Line::Kind::group)
            continue;
        if (!found.isEmpty() && found.last().end < 0)
            found.last().end = i;
        if (document.lines[i].name == group)
            found.append({i, -1});
    }
    if (!found.isEmpty() && found.last().end < 0)
        found.last().end = document.lines.size();
    return found;
}

Line newLine(const QByteArray &text, const QByteArray &group)
{
    Line line;
    line.text = text;
    line.group = group;
    line.kind = Line::Kind::other;
    return line;
}

// Inserts lines before position at, with the file's line end. A file that ended without a
// line end keeps ending that way.
void insertLines(Document &document, qsizetype at, QList<Line> lines)
{
    if (lines.isEmpty())
        return;
    for (Line &line : lines)
        line.end = document.eol;
    if (at == document.lines.size() && at > 0 && document.lines[at - 1].end.isEmpty()) {
        document.lines[at - 1].end = document.eol;
        lines.last().end.clear();
    }
    for (qsizetype i = 0; i < lines.size(); ++i)
        document.lines.insert(at + i, std::move(lines[i]));
}

bool isBlankLine(const Line &line)
{
    return line.kind == Line::Kind::blank && !line.text.trimmed().startsWith('#');
}

// New keys go after the last key of the group's last section; a missing group is added at
// the end of the file, after a blank line.
void insertIntoGroup(Document &document, const QByteArray &group, QList<Line> lines)
{
    if (lines.isEmpty())
        return;
    const QList<Section> found = sections(document, group);
    if (!found.isEmpty()) {
        const Section &section = found.last();
        qsizetype at = section.header + 1;
        for (qsizetype i = section.header + 1; i < section.end; ++i) {
            if (document.lines[i].kind == Line::Kind::key || document.lines[i].kind == Line::Kind::other)
                at = i + 1;
        }
        insertLines(document, at, std::move(lines));
        return;
    }
    QList<Line> block;
    if (!document.lines.isEmpty() && !isBlankLine(document.lines.last()))
        block.append(newLine({}, {}));
    block.append(newLine('[' + group + ']', group));
    block.append(std::move(lines));
    insertLines(document, document.lines.size(), std::move(block));
}

// A file that ended without a line end keeps ending that way.
void removeLines(Document &document, QList<qsizetype> indexes)
{
    const bool openEnd = !document.lines.isEmpty() && document.lines.last().end.isEmpty();
    std::sort(indexes.begin(), indexes.end(), std::greater<>());
    for (const qsizetype index : indexes)
        document.lines.removeAt(index);
    if (openEnd && !document.lines.isEmpty())
        document.lines.last().end.clear();
}

Document checkedParse(const QByteArray &bytes)
{
    ListEditor::check(bytes);
    return parse(bytes);
}

// Replaces the items of the key in the group with what change makes of them; a key left
// without items is removed, one that does not change keeps its bytes.
QByteArray changeItems(const QByteArray &bytes, const QString &group, const QString &type,
                       const std::function<QList<QByteArray>(QList<QByteArray>)> &change)
{
    Document document = checkedParse(bytes);
    const QByteArray groupName = group.toUtf8();
    const QByteArray key = type.toUtf8();
    const QList<qsizetype> found = occurrences(document, groupName, key);
    Items current;
    if (!found.isEmpty()) {
        const Line &last = document.lines[found.last()];
        current = split(last.text.mid(last.valueStart));
    }
    const QList<QByteArray> next = change(current.raw);
    if (next == current.raw && (!found.isEmpty() || next.isEmpty()))
        return bytes;
    if (next.isEmpty()) {
        // Earlier copies of a repeated key would take over; the key goes as a whole.
        removeLines(document, found);
    } else if (!found.isEmpty()) {
        Line &last = document.lines[found.last()];
        last.text = last.text.left(last.valueStart) + join(next, current.trailingSeparator);
    } else {
        insertIntoGroup(document, groupName, {newLine(key + '=' + join(next, true), groupName)});
    }
    return serialize(document);
}

QList<QByteArray> withoutId(QList<QByteArray> raw, const QString &id)
{
    raw.removeIf([&](const QByteArray &item) { return unescape(item) == id; });
    return raw;
}

QList<QByteArray> withIdFirst(const QList<QByteArray> &raw, const QString &id)
{
    QList<QByteArray> next{escape(id)};
    next.append(withoutId(raw, id));
    return next;
}

// A group that the change created and that is empty again: its header, its blank lines and,
// at the end of the file, the blank line that separated it.
void removeEmptySections(Document &document, const QByteArray &group)
{
    const QList<Section> found = sections(document, group);
    for (auto section = found.crbegin(); section != found.crend(); ++section) {
        bool empty = true;
        for (qsizetype i = section->header + 1; i < section->end && empty; ++i)
            empty = isBlankLine(document.lines[i]);
        if (!empty)
            continue;
        qsizetype from = section->header;
        if (section->end == document.lines.size() && from > 0 && isBlankLine(document.lines[from - 1]))
            --from;
        QList<qsizetype> indexes;
        for (qsizetype i = from; i < section->end; ++i)
            indexes.append(i);
        removeLines(document, indexes);
    }
}

} // namespace

QList<QString> ListEditor::groups(ListKind kind)
{
    if (kind == ListKind::desktopSpecific)
        return {defaultGroup};
    return {defaultGroup, addedGroup, removedGroup};
}

void ListEditor::check(const QByteArray &bytes)
{
    const std::unique_ptr<GKeyFile, decltype(&g_key_file_free)> file(g_key_file_new(), &g_key_file_free);
    GError *error = nullptr;
    if (g_key_file_load_from_data(file.get(), bytes.constData(), gsize(bytes.size()), G_KEY_FILE_NONE,
                                  &error))
        return;
    const QString glibReason = QString::fromUtf8(error->message);
    g_error_free(error);
    const Document document = parse(bytes);
    for (qsizetype i = 0; i < document.lines.size(); ++i) {
        if (!document.lines[i].fault.isEmpty())
            throw ListSyntaxError(int(i + 1), document.lines[i].fault);
    }
    throw ListSyntaxError(0, glibReason);
}

QByteArray ListEditor::makeDefault(const QByteArray &bytes, const QString &type, const QString &id,
                                   ListKind kind)
{
    QByteArray result =
        changeItems(bytes, defaultGroup, type, [&](auto raw) { return withIdFirst(raw, id); });
    if (kind == ListKind::general) {
        result = changeItems(result, addedGroup, type, [&](auto raw) { return withIdFirst(raw, id); });
        result = changeItems(result, removedGroup, type, [&](auto raw) { return withoutId(raw, id); });
    }
    return result;
}

QList<QString> ListEditor::items(const QByteArray &bytes, const QString &group, const QString &type)
{
    const Document document = checkedParse(bytes);
    const QList<qsizetype> found = occurrences(document, group.toUtf8(), type.toUtf8());
    QList<QString> result;
    if (found.isEmpty())
        return result;
    const Line &last = document.lines[found.last()];
    for (const QByteArray &raw : split(last.text.mid(last.valueStart)).raw)
        result.append(unescape(raw));
    return result;
}

QList<EntryImage> ListEditor::image(const QByteArray &bytes, const QString &type, ListKind kind)
{
    const Document document = checkedParse(bytes);
    QList<EntryImage> images;
    for (const QString &group : groups(kind)) {
        EntryImage entry{group, {}, !sections(document, group.toUtf8()).isEmpty()};
        for (const qsizetype index : occurrences(document, group.toUtf8(), type.toUtf8()))
            entry.lines.append(document.lines[index].text);
        images.append(std::move(entry));
    }
    return images;
}

QByteArray ListEditor::restore(const QByteArray &bytes, const QString &type, const QList<EntryImage> &images)
{
    QByteArray result = bytes;
    for (const EntryImage &entry : images) {
        Document document = checkedParse(result);
        const QByteArray group = entry.group.toUtf8();
        const QList<qsizetype> found = occurrences(document, group, type.toUtf8());
        if (found.size() == entry.lines.size() && !found.isEmpty()) {
            for (qsizetype i = 0; i < found.size(); ++i)
                document.lines[found[i]].text = entry.lines[i];
        } else {
            QList<Line> lines;
            for (const QByteArray &text : entry.lines)
                lines.append(newLine(text, group));
            const qsizetype at = found.isEmpty() ? -1 : found.first();
            removeLines(document, found);
            if (at >= 0)
                insertLines(document, at, std::move(lines));
            else
                insertIntoGroup(document, group, std::move(lines));
        }
        if (entry.lines.isEmpty() && !entry.groupExisted)
            removeEmptySections(document, group);
        result = serialize(document);
    }
    return result;
}

} // namespace halvora::mimeapps
