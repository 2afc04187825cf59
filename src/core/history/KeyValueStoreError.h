#pragma once

#include "core/model/LocalizedError.h"

#include <QString>

namespace halvora {

// A fault of the storage under the change history (file system, database engine). Its
// description is a Korean sentence that says what could not be done, names the file and
// ends with the engine's own message.
class KeyValueStoreError : public LocalizedError {
public:
    enum class Reason {
        cannotCreateDirectory,
        cannotOpen,
        notADatabase,
        diskFull,
        busy,
        readFailed,
        writeFailed,
    };

    KeyValueStoreError(Reason reason, QString filePath, QString detail);

    Reason reason() const { return reason_; }
    const QString &filePath() const { return filePath_; }
    const QString &detail() const { return detail_; }

    HALVORA_LOCALIZED_ERROR_CLONE(KeyValueStoreError)

private:
    Reason reason_;
    QString filePath_;
    QString detail_;
};

} // namespace halvora
