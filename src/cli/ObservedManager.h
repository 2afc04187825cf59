#pragma once

#include "core/service/FileAssociationManaging.h"

#include <QList>

#include <exception>
#include <memory>
#include <optional>

namespace halvora::cli {

// Passes every call on to the real service and remembers what went wrong and what the
// last change returned. The application state turns failures into an alert text; the
// command line needs their kind as well, to choose the exit code.
class ObservedManager final : public FileAssociationManaging {
public:
    enum class Operation { loadAll, loadOne, apply, history, undo };

    struct Failure {
        Operation operation;
        std::exception_ptr error;
    };

    // With loadsList false the full list is answered as empty without asking the system:
    // commands that work on a few named extensions still load the state (for its history
    // rules) but need not query every known type first.
    explicit ObservedManager(std::shared_ptr<FileAssociationManaging> service, bool loadsList = true)
        : service_(std::move(service)), loadsList_(loadsList)
    {}

    QCoro::Task<QList<FileAssociation>> loadRegisteredAssociations() override;
    QCoro::Task<FileAssociation> loadAssociation(QString extension) override;
    QCoro::Task<AssociationChangeRecord> applyDefaultApplication(AssociatedApp app,
                                                                 FileAssociation association) override;
    QList<AssociationChangeRecord> loadChangeHistory() override;
    QCoro::Task<AssociationChangeRecord> undoChange(AssociationChangeRecord record) override;

    const QList<Failure> &failures() const { return failures_; }
    // The first failure of one of the given kinds, if any.
    std::optional<Failure> firstFailure(std::initializer_list<Operation> operations) const;
    const std::optional<AssociationChangeRecord> &lastChangeRecord() const { return lastChangeRecord_; }
    void reset();

private:
    std::shared_ptr<FileAssociationManaging> service_;
    bool loadsList_;
    QList<Failure> failures_;
    std::optional<AssociationChangeRecord> lastChangeRecord_;
};

} // namespace halvora::cli
