#pragma once

#include "core/system/ContentTypeHandlerListReader.h"

namespace halvora {

// Reads the LSHandlers entries of a property list, XML or binary, through libplist.
class LaunchServicesPlistReader : public ContentTypeHandlerListReader {
public:
    // Containers nested deeper than this are refused before parsing: the parser recurses
    // once per level and would run out of stack on hostile input.
    static constexpr int maximumNesting = 512;
    // Nodes the decoded tree may hold; a binary list can share containers so that a small
    // file expands into an enormous tree.
    static constexpr quint64 maximumNodes = 8'000'000;

    QList<LaunchServicesContentTypeHandler>
    registeredContentTypeHandlers(const QByteArray &bytes) const override;
};

} // namespace halvora
