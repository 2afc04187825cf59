#pragma once

#include "app/DesktopServices.h"
#include "core/model/Models.h"

#include <QWidget>

#include <functional>
#include <optional>

class QStackedLayout;

namespace halvora {

class HalvoraState;

// The right column: everything about the selected extension, or a placeholder when none
// is selected. Rebuilt from the state whenever the selected association or its latest
// change record changes; keeps nothing of its own.
class AssociationDetailView : public QWidget {
    Q_OBJECT

public:
    using PickApplication = std::function<void(const FileAssociation &association)>;

    AssociationDetailView(HalvoraState &state, DesktopServices services, PickApplication onPickApplication,
                          QWidget *parent = nullptr);

    // The association on screen; empty while the placeholder shows.
    const std::optional<FileAssociation> &shownAssociation() const { return shown_; }

private:
    void refresh();
    QWidget *buildContent(const FileAssociation &association,
                          const std::optional<AssociationChangeRecord> &latest);
    QWidget *buildHeader(const FileAssociation &association,
                         const std::optional<AssociationChangeRecord> &latest);
    QWidget *buildCurrentAppSection(const FileAssociation &association);
    QWidget *buildTakeoverNote(const FileAssociation &association, QWidget *parent);
    QWidget *buildCandidateAppsSection(const FileAssociation &association);
    QWidget *buildCandidateRow(const FileAssociation &association, const AssociatedApp &app, bool isCurrent);

    HalvoraState &state_;
    DesktopServices services_;
    PickApplication onPickApplication_;
    QStackedLayout *stack_ = nullptr;
    QWidget *placeholder_ = nullptr;
    QWidget *content_ = nullptr;
    std::optional<FileAssociation> shown_;
    std::optional<AssociationChangeRecord> shownLatest_;
};

} // namespace halvora
