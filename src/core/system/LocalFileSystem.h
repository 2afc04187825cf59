#pragma once

#include "core/system/SystemPorts.h"

namespace halvora {

// The file-system port over Qt's file classes.
class LocalFileSystem : public FileSystem {
public:
    bool exists(const QString &path) const override;
    QByteArray readAll(const QString &path) const override;
    QString displayName(const QString &path) const override;
};

} // namespace halvora
