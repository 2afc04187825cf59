#include "WindowTestSupport.h"

#include "app/AppIcon.h"
#include "app/AssociationDetailView.h"
#include "app/PlaceholderPanel.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutex>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Icons are found on the pool and kept by entry and change time; painting never opens a
// file, and a FIFO named as entry or icon blocks nothing (a hang ends at the test's timeout).
TEST(AppIconTest, IconsAreFoundOffTheMainThreadKeptByChangeTimeAndNeverReadFromAFifo)
{
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(QString::fromUtf8(name)); };
    const auto solid = [&](const char *name, Qt::GlobalColor colour) {
        QImage image(8, 4, QImage::Format_ARGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(path(name)));
        return path(name);
    };
    const QString red = solid("red.png", Qt::red);
    const QString blue = solid("blue.png", Qt::blue);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("icon.fifo")).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.desktop")).constData(), 0600), 0);

    struct Case {
        const char *entry;
        QString icon;
        QRgb centre; // 0: the generic icon
    };
    const QList<Case> cases{
        {"red.desktop", red, qRgb(255, 0, 0)},
        {"fifo-icon.desktop", path("icon.fifo"), 0},
        {"pipe.desktop", red, 0},
        {"missing-icon.desktop", u"/nonexistent/x.png"_qs, 0},
        {"no-icon.desktop", QString(), 0},
    };
    QHash<QString, QString> icons;
    for (const Case &c : cases) {
        if (!QFileInfo(path(c.entry)).exists()) {
            QFile entry(path(c.entry));
            ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        }
        icons.insert(path(c.entry), c.icon);
    }
    QMutex lock;
    setDesktopEntryIconLookup([&](const QUrl &url) {
        QMutexLocker locked(&lock);
        return icons.value(url.toLocalFile());
    });
    const auto centreAndCorner = [](const QString &entry) {
        const QImage image = appIconPixmap(QUrl::fromLocalFile(entry), 28, 5).toImage();
        return std::pair{image.pixel(14, 14), qAlpha(image.pixel(0, 0))};
    };
    AppIconCache &cache = AppIconCache::instance();

    // The first paint shows the generic icon at once and leaves the finding to the pool.
    const QRgb generic = centreAndCorner(path("no-icon.desktop")).first;
    EXPECT_NE(generic, qRgb(255, 0, 0));
    EXPECT_EQ(centreAndCorner(path("red.desktop")).first, generic);
    for (const Case &c : cases)
        centreAndCorner(path(c.entry));
    ASSERT_TRUE(processEventsUntil([&] { return cache.isIdle(); }, std::chrono::minutes(10)));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(centreAndCorner(path(c.entry)), std::pair(c.centre ? c.centre : generic, 0));
    }

    // Looked up again only when the entry's change time differs from the one kept.
    {
        QMutexLocker locked(&lock);
        icons.insert(path("red.desktop"), blue);
    }
    cache.refresh({QUrl::fromLocalFile(path("red.desktop"))});
    ASSERT_TRUE(processEventsUntil([&] { return cache.isIdle(); }, std::chrono::minutes(10)));
    EXPECT_EQ(centreAndCorner(path("red.desktop")).first, qRgb(255, 0, 0));
    QFile entry(path("red.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        entry.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000), QFileDevice::FileModificationTime));
    cache.refresh({QUrl::fromLocalFile(path("red.desktop"))});
    ASSERT_TRUE(processEventsUntil([&] { return cache.isIdle(); }, std::chrono::minutes(10)));
    EXPECT_EQ(centreAndCorner(path("red.desktop")).first, qRgb(0, 0, 255));

    setDesktopEntryIconLookup({});
    // Should anything have opened a FIFO after all, let it go so that the process can end.
    for (const char *fifo : {"icon.fifo", "pipe.desktop"}) {
        const int fd = ::open(QFile::encodeName(path(fifo)).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
}

} // namespace
} // namespace halvora::test
