#include "WindowTestSupport.h"

#include "app/AppIcon.h"
#include "app/AssociationDetailView.h"
#include "app/PlaceholderPanel.h"

#include <QDateTime>
#include <QMutex>
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
    template <typename T = QWidget> T *find(const QString &name)
    {
        return window().detail()->findChild<T *>(name);
    }
    QString text(const QString &label) { return find<QLabel>(label)->text(); }

    QList<QWidget *> candidates() { return window().detail()->findChildren<QWidget *>(u"candidateRow"_qs); }

    // Candidate rows in order, each as "bundle id" plus " [현재]" and " (off)" marks.
    QStringList candidateRows()
    {
        QStringList out;
        for (QWidget *row : candidates()) {
            out.append(
                row->property("bundleIdentifier").toString() +
                (row->findChild<QLabel *>(u"currentMark"_qs) ? u" [현재]"_qs : QString()) +
                (row->findChild<QPushButton *>(u"applyButton"_qs)->isEnabled() ? QString() : u" (off)"_qs));
        }
        return out;
    }
};

TEST_F(DetailPaneTest, ShowsTheSelectedAssociationOrAPlaceholderAndOnlyStagesChosenApps)
{
    const AssociatedApp viewerCopy = app(viewer.name(), viewer.bundleIdentifier(), u"/opt/other"_qs);
    showWith({FileAssociation(u"pdf"_qs, u"application/pdf"_qs, viewer, {viewer, editor, viewerCopy}),
              assoc(u"mkv"_qs, std::nullopt, {})},
             {record(u"1"_qs, u"pdf"_qs, viewer, Status::verificationFailed)});
    EXPECT_EQ(text(u"extensionLabel"_qs), u".pdf"_qs);
    EXPECT_EQ(text(u"contentTypeLabel"_qs), u"application/pdf"_qs);
    ASSERT_NE(find(u"statusLabel"_qs), nullptr);
    EXPECT_EQ(find(u"statusLabel"_qs)->accessibleName(), title(Status::verificationFailed));
    EXPECT_EQ(text(u"currentAppBundleIdentifier"_qs), viewer.bundleIdentifier());
    EXPECT_EQ(find(u"currentAppPath"_qs)->toolTip(), viewer.url().toLocalFile());
    find<QToolButton>(u"revealButton"_qs)->click();
    find<QToolButton>(u"copyButton"_qs)->click();
    EXPECT_EQ(desktop->revealed, QList<QUrl>{viewer.url()});
    EXPECT_EQ(desktop->copied, QList<QString>{viewer.bundleIdentifier()});
    // Current by identifier alone: the copy elsewhere on disk is marked and disabled too.
    EXPECT_EQ(candidateRows(),
              (QStringList{u"org.example.Viewer.desktop [현재] (off)"_qs, u"org.example.Editor.desktop"_qs,
                           u"org.example.Viewer.desktop [현재] (off)"_qs}));
    // "적용" only stages the change; once confirmed (as the window's dialog would) the pane follows.
    candidates().at(1)->findChild<QPushButton *>(u"applyButton"_qs)->click();
    EXPECT_EQ(state.pendingChange()->replacementApp(), editor);
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 0);
    waitForTask(state.confirmPendingChange());
    EXPECT_EQ(candidateRows(),
              (QStringList{u"org.example.Viewer.desktop"_qs, u"org.example.Editor.desktop [현재] (off)"_qs,
                           u"org.example.Viewer.desktop"_qs}));

    // "직접 선택" works without candidates: a cancelled panel does nothing, an entry without an
    // identifier is reported, and a described one is staged, never applied.
    state.setSelectedExtension(u"mkv"_qs);
    const AssociatedApp picked = app(u"Other"_qs, u"org.example.Other.desktop"_qs, u"/opt"_qs);
    describable.insert(picked.url(), picked);
    desktop->answers = {std::nullopt, QUrl::fromLocalFile(u"/tmp/이름 없는.desktop"_qs), picked.url()};
    for (const QString &alert :
         {QString(), u"/tmp/이름 없는.desktop에서 앱 번들 식별자를 찾을 수 없습니다."_qs, QString()}) {
        find<QPushButton>(u"pickButton"_qs)->click();
        EXPECT_EQ(state.alertMessage().value_or(QString()), alert);
        state.setAlertMessage(std::nullopt);
    }
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(state.selectedAssociation().value(), picked));
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 1); // only the confirmed one above

    state.setSelectedExtension(std::nullopt);
    EXPECT_TRUE(find<PlaceholderPanel>(u"selectionPlaceholder"_qs)->isVisible());
    EXPECT_EQ(find(u"extensionLabel"_qs), nullptr);
}

// Icons are found on the pool and kept by entry and change time; painting never opens a
// file, and a FIFO named as entry or icon blocks nothing (a hang ends at the test's timeout).
TEST(AppIconTest, IconsAreFoundOffTheMainThreadKeptByChangeTimeAndNeverReadFromAFifo)
{
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(QString::fromUtf8(name)); };
    for (const auto &[name, colour] : {std::pair("red.png", Qt::red), std::pair("blue.png", Qt::blue)}) {
        QImage image(8, 4, QImage::Format_ARGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(path(name)));
    }
    for (const char *fifo : {"icon.fifo", "pipe.desktop"})
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(fifo)).constData(), 0600), 0);
    // Each entry, its icon and the colour it shows once found (0: the generic icon).
    const QList<std::tuple<const char *, QString, QRgb>> cases{
        {"red.desktop", path("red.png"), qRgb(255, 0, 0)},
        {"fifo-icon.desktop", path("icon.fifo"), 0},
        {"pipe.desktop", path("red.png"), 0},
        {"no-icon.desktop", QString(), 0},
    };
    QHash<QString, QString> icons;
    for (const auto &[entry, icon, centre] : cases) {
        QFile file(path(entry));
        ASSERT_TRUE(file.exists() || file.open(QIODevice::WriteOnly));
        icons.insert(path(entry), icon);
    }
    QMutex lock;
    setDesktopEntryIconLookup([&](const QUrl &url) {
        QMutexLocker locked(&lock);
        return icons.value(url.toLocalFile());
    });
    const auto centreAndCorner = [&](const char *entry) {
        const QImage image = appIconPixmap(QUrl::fromLocalFile(path(entry)), 28, 5).toImage();
        return std::pair{image.pixel(14, 14), qAlpha(image.pixel(0, 0))};
    };
    AppIconCache &cache = AppIconCache::instance();
    const auto settle = [&] {
        return processEventsUntil([&] { return cache.isIdle(); }, std::chrono::minutes(10));
    };

    // The first paint shows the generic icon at once and leaves the finding to the pool.
    const QRgb generic = centreAndCorner("no-icon.desktop").first;
    EXPECT_NE(generic, qRgb(255, 0, 0));
    for (const auto &[entry, icon, centre] : cases)
        EXPECT_EQ(centreAndCorner(entry).first, generic) << entry;
    ASSERT_TRUE(settle());
    for (const auto &[entry, icon, centre] : cases)
        EXPECT_EQ(centreAndCorner(entry), std::pair(centre ? centre : generic, 0)) << entry;

    // Looked up again only when the entry's change time differs from the one kept.
    {
        QMutexLocker locked(&lock);
        icons.insert(path("red.desktop"), path("blue.png"));
    }
    for (const QRgb colour : {qRgb(255, 0, 0), qRgb(0, 0, 255)}) {
        cache.refresh({QUrl::fromLocalFile(path("red.desktop"))});
        ASSERT_TRUE(settle());
        EXPECT_EQ(centreAndCorner("red.desktop").first, colour);
        QFile entry(path("red.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            entry.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000), QFileDevice::FileModificationTime));
    }

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
