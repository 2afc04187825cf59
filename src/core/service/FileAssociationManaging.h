#pragma once

#include "core/model/Models.h"

#include <QCoroTask>
#include <QList>
#include <QString>

namespace halvora {

// The one object through which the application state reads and changes associations.
// Asynchronous operations run their blocking work on the background executor and resume
// the awaiting coroutine on the caller's thread. Arguments are taken by value because
// they live in the coroutine frame. applyDefaultApplication and undoChange throw only when the
// history store fails after the system was asked (see failedAfterAskingTheSystem); undoChange
// also refuses a record without a previous application before asking.
class FileAssociationManaging {
public:
    virtual ~FileAssociationManaging() = default;

    virtual QCoro::Task<QList<FileAssociation>> loadRegisteredAssociations() = 0;
    virtual QCoro::Task<FileAssociation> loadAssociation(QString extension) = 0;
    virtual QCoro::Task<AssociationChangeRecord> applyDefaultApplication(AssociatedApp app,
                                                                         FileAssociation association) = 0;
    virtual QList<AssociationChangeRecord> loadChangeHistory() = 0;
    virtual QCoro::Task<AssociationChangeRecord> undoChange(AssociationChangeRecord record) = 0;
};

} // namespace halvora
