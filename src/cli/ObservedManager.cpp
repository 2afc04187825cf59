#include "cli/ObservedManager.h"

#include <algorithm>

namespace halvora::cli {

QCoro::Task<QList<FileAssociation>> ObservedManager::loadRegisteredAssociations()
{
    if (!loadsList_)
        co_return QList<FileAssociation>();
    try {
        co_return co_await service_->loadRegisteredAssociations();
    } catch (...) {
        failures_.append({Operation::loadAll, std::current_exception()});
        throw;
    }
}

QCoro::Task<FileAssociation> ObservedManager::loadAssociation(QString extension)
{
    try {
        co_return co_await service_->loadAssociation(std::move(extension));
    } catch (...) {
        failures_.append({Operation::loadOne, std::current_exception()});
        throw;
    }
}

QCoro::Task<AssociationChangeRecord> ObservedManager::applyDefaultApplication(AssociatedApp app,
                                                                              FileAssociation association)
{
    try {
        AssociationChangeRecord record =
            co_await service_->applyDefaultApplication(std::move(app), std::move(association));
        lastChangeRecord_ = record;
        co_return record;
    } catch (...) {
        failures_.append({Operation::apply, std::current_exception()});
        throw;
    }
}

QList<AssociationChangeRecord> ObservedManager::loadChangeHistory()
{
    try {
        return service_->loadChangeHistory();
    } catch (...) {
        failures_.append({Operation::history, std::current_exception()});
        throw;
    }
}

QCoro::Task<AssociationChangeRecord> ObservedManager::undoChange(AssociationChangeRecord record)
{
    try {
        AssociationChangeRecord updated = co_await service_->undoChange(std::move(record));
        lastChangeRecord_ = updated;
        co_return updated;
    } catch (...) {
        failures_.append({Operation::undo, std::current_exception()});
        throw;
    }
}

std::optional<ObservedManager::Failure>
ObservedManager::firstFailure(std::initializer_list<Operation> operations) const
{
    const auto found = std::find_if(failures_.begin(), failures_.end(), [&](const Failure &failure) {
        return std::find(operations.begin(), operations.end(), failure.operation) != operations.end();
    });
    if (found == failures_.end())
        return std::nullopt;
    return *found;
}

void ObservedManager::reset()
{
    failures_.clear();
    lastChangeRecord_.reset();
}

} // namespace halvora::cli
