// Handler lists built with libplist, shared by the reader's tests and the fuzz seeds so that
// the fuzzer starts from the shapes the tests check.
#pragma once

#include <plist/plist.h>

#include <QByteArray>

#include <array>
#include <initializer_list>
#include <utility>

namespace halvora::plistsamples {

inline plist_t dict(std::initializer_list<std::pair<const char *, plist_t>> items)
{
    plist_t node = plist_new_dict();
    for (const auto &[key, value] : items)
        plist_dict_set_item(node, key, value);
    return node;
}

inline plist_t array(std::initializer_list<plist_t> items)
{
    plist_t node = plist_new_array();
    for (plist_t item : items)
        plist_array_append_item(node, item);
    return node;
}

inline plist_t text(const char *value)
{
    return plist_new_string(value);
}

inline plist_t withHandlers(plist_t handlers)
{
    return dict({{"LSHandlers", handlers}, {"LSAdditionalKey", plist_new_uint(3)}});
}

// The XML and the binary encoding; frees the root.
inline std::array<QByteArray, 2> encodings(plist_t root)
{
    char *xml = nullptr;
    char *binary = nullptr;
    uint32_t xmlLength = 0;
    uint32_t binaryLength = 0;
    plist_to_xml(root, &xml, &xmlLength);
    plist_to_bin(root, &binary, &binaryLength);
    std::array<QByteArray, 2> bytes{QByteArray(xml, xmlLength), QByteArray(binary, binaryLength)};
    plist_to_xml_free(xml);
    plist_to_bin_free(binary);
    plist_free(root);
    return bytes;
}

// Every role, roles of another type, entries without a usable type, an empty handler,
// non-ASCII text and keys of every value type that the reader ignores.
inline plist_t sampleHandlers()
{
    return withHandlers(array({
        dict({{"LSHandlerContentType", text("public.plain-text")},
              {"LSHandlerRoleViewer", text("com.example.viewer")},
              {"LSHandlerRoleAll", text("com.example.all")}}),
        dict({{"LSHandlerContentType", text("public.png")},
              {"LSHandlerRoleEditor", text("com.example.editor")}}),
        dict({{"LSHandlerContentType", text("public.jpeg")},
              {"LSHandlerRoleAll", plist_new_uint(5)},
              {"LSHandlerRoleViewer", text("com.example.viewer")}}),
        dict({{"LSHandlerContentType", text("com.adobe.pdf")}, {"LSHandlerPreferredVersions", dict({})}}),
        dict({{"LSHandlerURLScheme", text("https")}, {"LSHandlerRoleAll", text("com.example.browser")}}),
        dict({{"LSHandlerContentType", text("")}, {"LSHandlerRoleAll", text("com.example.empty")}}),
        dict({{"LSHandlerContentType", plist_new_bool(1)}, {"LSHandlerRoleAll", plist_new_real(1.5)}}),
        dict({{"LSHandlerContentType", text("public.plain-text")}, {"LSHandlerRoleAll", text("")}}),
        dict({{"LSHandlerContentType", text("public.héllo-텍스트")},
              {"LSHandlerRoleAll", text("com.예제")},
              {"LSHandlerModificationDate", plist_new_date(786297600, 0)},
              {"LSHandlerData", plist_new_data("\x00\x01", 2)}}),
    }));
}

} // namespace halvora::plistsamples
