#pragma once

#include "core/model/Models.h"

#include <QCoroTask>
#include <QList>
#include <QString>

#include <functional>

namespace halvora {

// All reading and changing of the system's handler registry goes through this interface.
// Implementations hold no mutable state; one instance serves any number of callers.
class FileAssociationSystemClient {
public:
    virtual ~FileAssociationSystemClient() = default;

    // Blocking; sorted by extension, each extension once.
    virtual QList<RegisteredContentType> loadRegisteredContentTypes() const = 0;
    // Blocking; extension text in any form.
    virtual FileAssociation loadAssociation(const QString &extension) const = 0;
    // Runs the platform request off the calling thread and resumes the caller when done.
    // Arguments are taken by value: they live in the coroutine frame.
    virtual QCoro::Task<void> setDefaultApplication(AssociatedApp app,
                                                    QString contentTypeIdentifier) const = 0;
    // Runs work so that the loads inside it answer from one reading of the system.
    virtual void inOneReading(const std::function<void()> &work) const { work(); }
};

} // namespace halvora
