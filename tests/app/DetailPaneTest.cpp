#include "WindowTestSupport.h"

#include "app/AppIcon.h"
#include "app/AssociationDetailView.h"
#include "app/PlaceholderPanel.h"

#include <QPainter>
#include <QToolButton>

namespace halvora::test {
namespace {

using Status = AssociationVerificationStatus;

class DetailPaneTest : public WindowTest {
protected:
    AssociationDetailView &detail() { return *window().detail(); }

    template <typename T = QWidget> T *find(const QString &name) { return detail().findChild<T *>(name); }

    // Candidate rows in order, each as "bundle id" plus " [현재]" and " (off)" marks.
    QStringList candidateRows()
    {
        QStringList out;
        for (QWidget *row : detail().findChildren<QWidget *>(u"candidateRow"_qs)) {
            QString text = row->property("bundleIdentifier").toString();
            if (row->findChild<QLabel *>(u"currentMark"_qs))
                text += u" [현재]"_qs;
            if (!row->findChild<QPushButton *>(u"applyButton"_qs)->isEnabled())
                text += u" (off)"_qs;
            out.append(text);
        }
        return out;
    }

    static AssociationChangeRecord record(const QString &extension, Status status)
    {
        return AssociationChangeRecord(u"ID-"_qs + extension, extension, u"application/x-"_qs + extension,
                                       viewer, editor, Timestamp(1000.0), status, std::nullopt);
    }
};

TEST_F(DetailPaneTest, ShowsPlaceholderThenTheSelectedAssociationAndFollowsTheSelection)
{
    showWith({});
    auto *placeholder = find<PlaceholderPanel>(u"selectionPlaceholder"_qs);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_EQ(find(u"extensionLabel"_qs), nullptr);

    const AssociatedApp viewerCopy = app(viewer.name(), viewer.bundleIdentifier(), u"/opt/other"_qs);
    manager->setRegisteredAssociations(
        {FileAssociation(u"pdf"_qs, u"application/pdf"_qs, viewer, {viewer, editor, viewerCopy}),
         assoc(u"mkv"_qs, std::nullopt, {})});
    manager->setHistory({record(u"pdf"_qs, Status::verificationFailed)});
    state.load();

    EXPECT_FALSE(placeholder->isVisible());
    EXPECT_EQ(find<QLabel>(u"extensionLabel"_qs)->text(), u".pdf"_qs);
    auto *contentType = find<QLabel>(u"contentTypeLabel"_qs);
    EXPECT_EQ(contentType->text(), u"application/pdf"_qs);
    EXPECT_TRUE(contentType->textInteractionFlags() & Qt::TextSelectableByMouse);
    ASSERT_NE(find(u"statusLabel"_qs), nullptr);
    EXPECT_EQ(find(u"statusLabel"_qs)->accessibleName(), title(Status::verificationFailed));
    EXPECT_EQ(find<QLabel>(u"currentAppBundleIdentifier"_qs)->text(), viewer.bundleIdentifier());
    // Current by identifier alone: the copy elsewhere on disk is marked and disabled too.
    EXPECT_EQ(candidateRows(),
              (QStringList{u"org.example.Viewer.desktop [현재] (off)"_qs, u"org.example.Editor.desktop"_qs,
                           u"org.example.Viewer.desktop [현재] (off)"_qs}));

    // No default, no candidates, no history: warning, empty panel, no status.
    state.setSelectedExtension(u"mkv"_qs);
    EXPECT_EQ(find<QLabel>(u"extensionLabel"_qs)->text(), u".mkv"_qs);
    EXPECT_EQ(find(u"statusLabel"_qs), nullptr);
    EXPECT_NE(find(u"noCurrentApp"_qs), nullptr);
    ASSERT_NE(find<PlaceholderPanel>(u"noCandidates"_qs), nullptr);
    EXPECT_TRUE(candidateRows().isEmpty());

    // "직접 선택" works without candidates: a cancelled panel does nothing, an entry without an
    // identifier is reported, and a described one is staged, never applied.
    ASSERT_NE(find(u"pickButton"_qs), nullptr);
    find<QPushButton>(u"pickButton"_qs)->click();
    EXPECT_EQ(picker->runs, 1);
    EXPECT_FALSE(state.pendingChange());
    EXPECT_FALSE(state.alertMessage());
    picker->answers.push_back(QUrl::fromLocalFile(u"/tmp/이름 없는.desktop"_qs));
    find<QPushButton>(u"pickButton"_qs)->click();
    EXPECT_FALSE(state.pendingChange());
    EXPECT_EQ(state.alertMessage(), u"/tmp/이름 없는.desktop에서 앱 번들 식별자를 찾을 수 없습니다."_qs);
    state.setAlertMessage(std::nullopt);
    const AssociatedApp picked = app(u"Other"_qs, u"org.example.Other.desktop"_qs, u"/opt"_qs);
    describable.insert(picked.url(), picked);
    picker->answers.push_back(picked.url());
    find<QPushButton>(u"pickButton"_qs)->click();
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(state.selectedAssociation().value(), picked));
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);

    state.setSelectedExtension(std::nullopt);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_EQ(find(u"extensionLabel"_qs), nullptr);
}

TEST_F(DetailPaneTest, RevealAndCopyActOnTheCurrentAppApplyOnlyStagesAndTheMarkFollowsTheChange)
{
    const FileAssociation pdf(u"pdf"_qs, u"application/pdf"_qs, viewer, {viewer, editor});
    showWith({pdf});
    find<QToolButton>(u"revealButton"_qs)->click();
    find<QToolButton>(u"copyButton"_qs)->click();
    EXPECT_EQ(revealer->revealed, QList<QUrl>{viewer.url()});
    EXPECT_EQ(clipboard->texts, QList<QString>{viewer.bundleIdentifier()});
    EXPECT_EQ(find<QLabel>(u"currentAppPath"_qs)->toolTip(), viewer.url().toLocalFile());

    QPushButton *applyEditor = nullptr;
    for (QWidget *row : detail().findChildren<QWidget *>(u"candidateRow"_qs)) {
        if (row->property("bundleIdentifier") == editor.bundleIdentifier())
            applyEditor = row->findChild<QPushButton *>(u"applyButton"_qs);
    }
    ASSERT_NE(applyEditor, nullptr);
    applyEditor->click();
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(pdf, editor));
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);

    // Confirming (as the window's dialog would) replaces the association; the pane follows.
    waitForTask(state.confirmPendingChange());
    EXPECT_EQ(candidateRows(),
              (QStringList{u"org.example.Viewer.desktop"_qs, u"org.example.Editor.desktop [현재] (off)"_qs}));
    ASSERT_NE(find(u"statusLabel"_qs), nullptr);
    EXPECT_EQ(find(u"statusLabel"_qs)->accessibleName(), title(Status::verified));
}

TEST_F(DetailPaneTest, AppIconFillsItsRoundedSquareAndFallsBackToTheGenericIcon)
{
    const auto cornerAndCentre = [](const QPixmap &pixmap) {
        const QImage image = pixmap.toImage();
        return std::pair{qAlpha(image.pixel(0, 0)),
                         qAlpha(image.pixel(image.width() / 2, image.height() / 2))};
    };
    // A plain red square as the entry's icon file: stretched to the edges, corners cut.
    const QString iconFile = QDir::temp().filePath(u"halvora-test-icon.png"_qs);
    QImage red(8, 4, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(iconFile));
    setDesktopEntryIconLookup([&](const QUrl &url) { return url == viewer.url() ? iconFile : QString(); });
    const QPixmap icon = appIconPixmap(viewer.url(), 28, 5);
    EXPECT_EQ(icon.size(), QSize(28, 28));
    EXPECT_EQ(cornerAndCentre(icon), std::pair(0, 255));
    EXPECT_EQ(icon.toImage().pixelColor(14, 2).red(), 255);

    // Missing entry icon, missing file, or no URL: still something drawn.
    setDesktopEntryIconLookup([](const QUrl &) { return u"/nonexistent/icon.png"_qs; });
    EXPECT_GT(cornerAndCentre(appIconPixmap(editor.url(), 28, 5)).second, 0);
    EXPECT_GT(cornerAndCentre(appIconPixmap(std::nullopt, 20, 4)).second, 0);
    setDesktopEntryIconLookup({});
}

} // namespace
} // namespace halvora::test
