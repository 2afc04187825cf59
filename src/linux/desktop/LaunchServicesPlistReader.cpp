#include "linux/desktop/LaunchServicesPlistReader.h"

#include "core/system/SystemErrors.h"

#include <plist/plist.h>

#include <QList>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace halvora {

namespace {

const QString notAPropertyList = QStringLiteral("속성 목록이 아닙니다");
const QString tooDeep = QStringLiteral("속성 목록이 너무 깊게 중첩되어 있습니다");
const QString tooLarge = QStringLiteral("속성 목록이 너무 큽니다");

[[noreturn]] void refuse(const QString &reason)
{
    throw HandlerListFormatError(reason);
}

bool startsWith(const QByteArray &bytes, qsizetype at, const char *text)
{
    return QByteArrayView(bytes).sliced(at).startsWith(QByteArrayView(text));
}

// Skips markup that cannot open a container, then tracks the nesting of <array> and <dict>.
// Anything it mistakes for a container only makes the limit stricter.
void checkXmlNesting(const QByteArray &bytes)
{
    int depth = 0;
    qsizetype at = bytes.indexOf('<');
    while (at >= 0) {
        qsizetype end = -1;
        if (startsWith(bytes, at, "<!--")) {
            end = bytes.indexOf("-->", at + 4);
        } else if (startsWith(bytes, at, "<![CDATA[")) {
            end = bytes.indexOf("]]>", at + 9);
        } else if (startsWith(bytes, at, "<?")) {
            end = bytes.indexOf("?>", at + 2);
        } else {
            end = bytes.indexOf('>', at + 1);
            if (end < 0)
                break;
            const QByteArrayView tag = QByteArrayView(bytes).sliced(at + 1, end - at - 1);
            const bool closing = tag.startsWith('/');
            const QByteArrayView name = closing ? tag.sliced(1) : tag;
            const bool container = name.startsWith("array") || name.startsWith("dict");
            if (container && closing) {
                depth = std::max(0, depth - 1);
            } else if (container && !tag.endsWith('/')) {
                if (++depth > LaunchServicesPlistReader::maximumNesting)
                    refuse(tooDeep);
            }
        }
        if (end < 0)
            break;
        at = bytes.indexOf('<', end);
    }
}

// The binary encoding: objects addressed through an offset table, containers holding
// references to other objects. The walk is iterative, detects cycles and adds up how
// large the decoded tree would be, counting shared objects once per reference.
class BinaryStructure {
public:
    explicit BinaryStructure(const QByteArray &bytes) : bytes_(bytes) {}

    void check()
    {
        if (bytes_.size() < 8 + 32)
            refuse(notAPropertyList);
        const qsizetype trailer = bytes_.size() - 32;
        offsetSize_ = static_cast<quint8>(bytes_[trailer + 6]);
        refSize_ = static_cast<quint8>(bytes_[trailer + 7]);
        objectCount_ = readUnsigned(trailer + 8, 8);
        const quint64 top = readUnsigned(trailer + 16, 8);
        tableStart_ = readUnsigned(trailer + 24, 8);
        if (!validSize(offsetSize_) || !validSize(refSize_) || objectCount_ == 0 || top >= objectCount_ ||
            tableStart_ < 8 || tableStart_ > static_cast<quint64>(trailer) ||
            objectCount_ > (static_cast<quint64>(trailer) - tableStart_) / offsetSize_)
            refuse(notAPropertyList);
        walk(top);
    }

private:
    struct Frame {
        quint64 object;
        quint64 refsAt;
        quint64 refCount;
        quint64 next;
        quint64 nodes;
    };

    static bool validSize(quint8 size) { return size == 1 || size == 2 || size == 4 || size == 8; }

    quint64 readUnsigned(quint64 at, int size) const
    {
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | static_cast<quint8>(bytes_[static_cast<qsizetype>(at) + i]);
        return value;
    }

    quint64 offsetOf(quint64 object) const
    {
        const quint64 offset = readUnsigned(tableStart_ + object * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= tableStart_)
            refuse(notAPropertyList);
        return offset;
    }

    // For a container: where its references start and how many there are.
    bool containerReferences(quint64 object, quint64 &refsAt, quint64 &refCount) const
    {
        const quint64 at = offsetOf(object);
        const quint8 marker = static_cast<quint8>(bytes_[static_cast<qsizetype>(at)]);
        const int kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD)
            return false;
        quint64 count = marker & 0x0F;
        refsAt = at + 1;
        if (count == 0x0F) {
            if (refsAt >= tableStart_)
                refuse(notAPropertyList);
            const quint8 intMarker = static_cast<quint8>(bytes_[static_cast<qsizetype>(refsAt)]);
            const int width = 1 << (intMarker & 0x0F);
            if ((intMarker >> 4) != 0x1 || width > 8 || refsAt + 1 + width > tableStart_)
                refuse(notAPropertyList);
            count = readUnsigned(refsAt + 1, width);
            refsAt += 1 + width;
        }
        const quint64 perEntry = kind == 0xD ? 2 : 1;
        if (count > (tableStart_ - refsAt) / (perEntry * refSize_))
            refuse(notAPropertyList);
        refCount = count * perEntry;
        return true;
    }

    void walk(quint64 top)
    {
        enum : quint8 { unseen, open, closed };
        std::vector<quint8> state(objectCount_, unseen);
        std::vector<quint64> nodesOf(objectCount_, 1);
        std::vector<Frame> stack;

        auto enter = [&](quint64 object) {
            quint64 refsAt = 0;
            quint64 refCount = 0;
            if (!containerReferences(object, refsAt, refCount)) {
                state[object] = closed;
                return;
            }
            if (stack.size() >= static_cast<size_t>(LaunchServicesPlistReader::maximumNesting))
                refuse(tooDeep);
            state[object] = open;
            stack.push_back({object, refsAt, refCount, 0, 1});
        };

        enter(top);
        while (!stack.empty()) {
            Frame &frame = stack.back();
            if (frame.next == frame.refCount) {
                const Frame done = frame;
                stack.pop_back();
                state[done.object] = closed;
                nodesOf[done.object] = done.nodes;
                if (!stack.empty())
                    addNodes(stack.back(), done.nodes);
                continue;
            }
            const quint64 child = readUnsigned(frame.refsAt + frame.next * refSize_, refSize_);
            ++frame.next;
            if (child >= objectCount_)
                refuse(notAPropertyList);
            if (state[child] == open)
                refuse(notAPropertyList);
            if (state[child] == closed) {
                addNodes(frame, nodesOf[child]);
                continue;
            }
            enter(child);
            if (state[child] == closed)
                addNodes(stack.back(), 1);
        }
    }

    static void addNodes(Frame &frame, quint64 nodes)
    {
        frame.nodes += nodes;
        if (frame.nodes > LaunchServicesPlistReader::maximumNodes)
            refuse(tooLarge);
    }

    const QByteArray &bytes_;
    quint8 offsetSize_ = 0;
    quint8 refSize_ = 0;
    quint64 objectCount_ = 0;
    quint64 tableStart_ = 0;
};

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};

std::optional<QString> textValue(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    return QString::fromUtf8(text, static_cast<qsizetype>(length));
}

} // namespace

QList<LaunchServicesContentTypeHandler>
LaunchServicesPlistReader::registeredContentTypeHandlers(const QByteArray &bytes) const
{
    if (bytes.isEmpty())
        refuse(notAPropertyList);
    if (static_cast<quint64>(bytes.size()) > std::numeric_limits<uint32_t>::max())
        refuse(tooLarge);
    const auto length = static_cast<uint32_t>(bytes.size());
    if (plist_is_binary(bytes.constData(), length))
        BinaryStructure(bytes).check();
    else
        checkXmlNesting(bytes);

    plist_t parsed = nullptr;
    plist_from_memory(bytes.constData(), length, &parsed);
    const std::unique_ptr<void, PlistFree> root(parsed);
    if (!root)
        refuse(notAPropertyList);

    if (plist_get_node_type(root.get()) != PLIST_DICT)
        return {};
    plist_t array = plist_dict_get_item(root.get(), "LSHandlers");
    if (!array || plist_get_node_type(array) != PLIST_ARRAY)
        return {};
    const uint32_t count = plist_array_get_size(array);
    // One element that is not a dictionary makes the whole array unusable.
    for (uint32_t i = 0; i < count; ++i) {
        if (plist_get_node_type(plist_array_get_item(array, i)) != PLIST_DICT)
            return {};
    }

    QList<LaunchServicesContentTypeHandler> handlers;
    for (uint32_t i = 0; i < count; ++i) {
        plist_t entry = plist_array_get_item(array, i);
        const std::optional<QString> contentType =
            textValue(plist_dict_get_item(entry, "LSHandlerContentType"));
        if (!contentType || contentType->isEmpty())
            continue;
        std::optional<QString> handler = textValue(plist_dict_get_item(entry, "LSHandlerRoleAll"));
        if (!handler)
            handler = textValue(plist_dict_get_item(entry, "LSHandlerRoleViewer"));
        if (!handler)
            handler = textValue(plist_dict_get_item(entry, "LSHandlerRoleEditor"));
        handlers.append(LaunchServicesContentTypeHandler(*contentType, std::move(handler)));
    }
    return handlers;
}

} // namespace halvora
