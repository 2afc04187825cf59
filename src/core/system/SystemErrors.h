#pragma once

#include "core/model/LocalizedError.h"

#include <QString>

namespace halvora {

// A file that exists but cannot be read; names the file and the reason.
class FileReadError : public LocalizedError {
public:
    FileReadError(QString path, QString reason);

    const QString &path() const { return path_; }
    const QString &reason() const { return reason_; }

    HALVORA_LOCALIZED_ERROR_CLONE(FileReadError)

private:
    QString path_;
    QString reason_;
};

// Bytes that a handler-list reader cannot make sense of. The reader knows only the bytes;
// whoever read the file adds its path with inFile().
class HandlerListFormatError : public LocalizedError {
public:
    explicit HandlerListFormatError(QString reason, QString path = QString());

    const QString &reason() const { return reason_; }
    // Empty when not known.
    const QString &path() const { return path_; }
    HandlerListFormatError inFile(const QString &path) const { return HandlerListFormatError(reason_, path); }

    HALVORA_LOCALIZED_ERROR_CLONE(HandlerListFormatError)

private:
    QString reason_;
    QString path_;
};

} // namespace halvora
