#pragma once

#include "core/model/FileAssociationError.h"
#include "core/state/HalvoraState.h"
#include "support/SampleAssociations.h"
#include "support/doubles/ScriptedFileAssociationManager.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <stdexcept>

namespace halvora::test {

using Op = ScriptedFileAssociationManager::Operation;

inline const AssociatedApp viewer = app(u"Document Viewer"_qs, u"org.example.Viewer.desktop"_qs);
inline const AssociatedApp editor = app(u"text editor"_qs, u"org.example.Editor.desktop"_qs);
inline const AssociatedApp player = app(u"Player"_qs, u"org.example.Player.desktop"_qs);

inline AssociationChangeRecord record(const QString &id, const QString &extension,
                                      std::optional<AssociatedApp> previous,
                                      AssociationVerificationStatus status)
{
    return AssociationChangeRecord(id, extension, u"application/x-"_qs + extension, std::move(previous),
                                   editor, Timestamp(1000.0), status, std::nullopt);
}

inline FileAssociation listed(const HalvoraState &state, const QString &extension)
{
    for (const auto &a : state.associations()) {
        if (a.fileExtension() == extension)
            return a;
    }
    throw std::logic_error("not listed");
}

using PlannedRow = std::pair<BulkAssociationRowStatus, std::optional<QString>>;
inline QList<PlannedRow> rowsOf(const BulkAssociationChangePlan &plan)
{
    QList<PlannedRow> rows;
    for (const auto &row : plan.rows())
        rows.append({row.status(), row.note()});
    return rows;
}

inline std::exception_ptr failure(const QString &message)
{
    return std::make_exception_ptr(FileAssociationError::systemFailure(message));
}

class StateTest : public ::testing::Test {
protected:
    void TearDown() override { manager->releaseAll(); }

    // Registers the associations and loads them (unheld calls finish at once).
    void loadWith(QList<FileAssociation> associations, QList<AssociationChangeRecord> history = {})
    {
        manager->setRegisteredAssociations(std::move(associations));
        manager->setHistory(std::move(history));
        state.load();
    }

    std::shared_ptr<ScriptedFileAssociationManager> manager =
        std::make_shared<ScriptedFileAssociationManager>();
    HalvoraState state{manager, ExtensionCatalog::defaultCatalog()};
};

} // namespace halvora::test
