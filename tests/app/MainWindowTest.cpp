#include "WindowTestSupport.h"

#include "app/AppIcon.h"
#include "app/AssociationDetailView.h"
#include "app/ExtensionSidebarView.h"
#include "app/PlaceholderPanel.h"
#include "app/SidebarListModel.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <atomic>
#include <functional>
#include <ranges>
#include <tuple>

#include <sys/stat.h>

namespace halvora::test {
namespace {

// Limits of size and sidebar width across restarts are the geometry test's part.
TEST_F(WindowTest, FirstShowStartsExactlyOneLoadShownBusyAndOnlyTheDetailPaneGrows)
{
    EXPECT_FALSE(window().refreshAction()->isEnabled()); // nothing is selected yet

    manager->setRegisteredAssociations({assoc(u"pdf"_qs, viewer)});
    manager->hold(Op::loadRegisteredAssociations);
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 0); // building loads nothing
    window().show();
    window().hide();
    window().show();
    EXPECT_TRUE(window().sidebar()->busyIndicator()->isVisible());
    manager->releaseAll();
    ASSERT_TRUE(processEventsUntil([&] { return !state.isLoading(); }));
    EXPECT_FALSE(window().sidebar()->busyIndicator()->isVisible());
    EXPECT_EQ(manager->callCount(Op::loadRegisteredAssociations), 1);

    EXPECT_EQ(window().splitter()->sizes().first(), MainWindow::sidebarIdealWidth);
    window().resize(1300, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(window().splitter()->sizes().first(), MainWindow::sidebarIdealWidth);
}

class SidebarTest : public WindowTest {
protected:
    ExtensionSidebarView &sidebar() { return *window().sidebar(); }
    SidebarListModel &model() { return *sidebar().listModel(); }

    QStringList rows()
    {
        QStringList out;
        for (int i = 0; i < model().rowCount(); ++i)
            out.append(model().index(i).data().toString());
        return out;
    }

    void click(int row, std::optional<QPoint> at = std::nullopt)
    {
        SidebarListView *view = sidebar().listView();
        const QPoint point = at.value_or(view->visualRect(model().index(row)).center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    }

    int rowOf(const QString &text) { return int(rows().indexOf(text)); }

    const QList<FileAssociation> sample{assoc(u"pdf"_qs, viewer), assoc(u"png"_qs, viewer),
                                        assoc(u"md"_qs, editor), assoc(u"mkv"_qs, std::nullopt, {})};
};

// Which rows a search, mode or filter lists is the state's rule; here the controls reach it.
TEST_F(SidebarTest, ControlsDriveTheStateAndACommonExtensionInTwoGroupsIsOneSelection)
{
    showWith(sample);
    state.toggleGroup(ExtensionCategory::frequentlyUsed);
    state.toggleGroup(ExtensionCategory::images);
    const int first = rowOf(u".png"_qs);
    const int second = int(rows().lastIndexOf(u".png"_qs));
    ASSERT_NE(first, second);

    click(second);
    EXPECT_EQ(state.selectedExtension(), u"png"_qs);
    EXPECT_TRUE(model().index(first).data(SidebarListModel::IsSelectedRole).toBool());
    EXPECT_TRUE(model().index(second).data(SidebarListModel::IsSelectedRole).toBool());
    // The keyboard's place stays on the clicked copy, so arrows go on from there.
    EXPECT_EQ(sidebar().listView()->currentIndex().row(), second);
    QTest::keyClick(sidebar().listView(), Qt::Key_Up);
    const std::optional<QString> selected = state.selectedExtension();
    EXPECT_NE(selected, u"png"_qs);
    EXPECT_TRUE(selected.has_value());

    // The bulk check box appears with bulk mode and toggles without selecting.
    state.toggleGroup(ExtensionCategory::documents);
    const int md = rowOf(u".md"_qs);
    EXPECT_TRUE(sidebar().listView()->bulkCheckBoxRect(md).isEmpty());
    state.setBulkSelectionEnabled(true);
    const QRect box = sidebar().listView()->bulkCheckBoxRect(md);
    ASSERT_FALSE(box.isEmpty());
    click(md, box.center());
    EXPECT_TRUE(state.isSelectedForBulk(u"md"_qs));
    EXPECT_EQ(state.selectedExtension(), selected);

    // The controls reach the state, and text the state sets reaches the field.
    sidebar().modeButton(1)->click();
    EXPECT_EQ(state.sidebarMode(), AssociationSidebarMode::applications);
    state.setSearchText(u"zzzz"_qs);
    EXPECT_EQ(sidebar().searchField()->text(), u"zzzz"_qs);
    sidebar().filterMenu()->setCurrentIndex(1);
    Q_EMIT sidebar().filterMenu()->activated(1);
    EXPECT_EQ(state.associationFilter(), AssociationFilter::missingDefaultApplication);
}

// The list view moves its cursor by itself (on focus, after a reset); only the user's own
// keys and clicks may change the selection, and the clicked header stays where it was.
TEST_F(SidebarTest, HeadersToggleInPlaceWhateverTheScrollAndHomeEndReachExtensionRows)
{
    QList<FileAssociation> many;
    for (const QString &extension :
         u"pdf txt md docx doc rtf odt log html css js py go rs c h cpp sh ini plist"_qs.split(u' '))
        many.append(assoc(extension, viewer));
    for (int i = 0; i < 30; ++i)
        many.append(assoc(u"zz%1"_qs.arg(i, 2, 10, QChar(u'0')), viewer));
    showWith(many);
    for (ExtensionCategory category :
         {ExtensionCategory::documents, ExtensionCategory::development, ExtensionCategory::other})
        state.toggleGroup(category);
    SidebarListView *view = sidebar().listView();
    QScrollBar *scroll = view->verticalScrollBar();
    const QString development = u"개발"_qs;
    const auto top = [&] { return view->visualRect(model().index(rowOf(development))).top(); };
    state.setSelectedExtension(u"plist"_qs);
    // Nothing current and the focus elsewhere: the click's focus-in must not pick a row.
    sidebar().searchField()->setFocus();
    view->selectionModel()->clearCurrentIndex();

    const QList<std::pair<const char *, int>> steps{
        {"scrolled, close the selection's group by a click", 40},
        {"scrolled otherwise, open it again with Return", 53},
    };
    for (const auto &[what, headerY] : steps) {
        SCOPED_TRACE(what);
        scroll->setValue(scroll->value() + top() - headerY);
        ASSERT_EQ(top(), headerY);
        const bool wasExpanded = state.isGroupExpanded(ExtensionCategory::development);
        if (view->hasFocus()) {
            view->setCurrentIndex(model().index(rowOf(development)));
            QTest::keyClick(view, Qt::Key_Return);
        } else {
            click(rowOf(development));
        }
        EXPECT_NE(state.isGroupExpanded(ExtensionCategory::development), wasExpanded);
        EXPECT_EQ(top(), headerY);
        EXPECT_EQ(state.selectedExtension(), u"plist"_qs);
    }

    // The view moving its cursor by itself does not select.
    view->setCurrentIndex(model().index(rowOf(u".pdf"_qs)));
    EXPECT_EQ(state.selectedExtension(), u"plist"_qs);

    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(state.selectedExtension(), u"zz29"_qs);
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(state.selectedExtension(), u"pdf"_qs);

    // A new search shows the top of the list, or the selected row when it is listed.
    scroll->setValue(scroll->maximum());
    QTest::keyClicks(sidebar().searchField(), u"zz"_qs);
    EXPECT_EQ(scroll->value(), 0);
    QTest::keyClick(view, Qt::Key_End); // selects .zz29, at the bottom
    scroll->setValue(0);
    QTest::keyClick(sidebar().searchField(), Qt::Key_2);
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(model().index(rowOf(u".zz29"_qs)))));
}

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
        for (QWidget *row : candidates())
            out.append(
                row->property("bundleIdentifier").toString() +
                (row->findChild<QLabel *>(u"currentMark"_qs) ? u" [현재]"_qs : QString()) +
                (row->findChild<QPushButton *>(u"applyButton"_qs)->isEnabled() ? QString() : u" (off)"_qs));
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
    waitForTask(state.confirmPendingChange());
    EXPECT_EQ(
        candidateRows().join(u','),
        u"org.example.Viewer.desktop,org.example.Editor.desktop [현재] (off),org.example.Viewer.desktop"_qs);

    // "직접 선택" works without candidates: a cancelled panel does nothing, an entry without an
    // identifier is reported, and a described one is staged, never applied.
    state.setSelectedExtension(u"mkv"_qs);
    desktop->answers = {std::nullopt, QUrl::fromLocalFile(u"/tmp/이름 없는.desktop"_qs), tool.url()};
    for (const QString &alert :
         {QString(), u"/tmp/이름 없는.desktop에서 앱 번들 식별자를 찾을 수 없습니다."_qs, QString()}) {
        find<QPushButton>(u"pickButton"_qs)->click();
        EXPECT_EQ(state.alertMessage().value_or(QString()), alert);
        state.setAlertMessage(std::nullopt);
    }
    EXPECT_EQ(state.pendingChange(), PendingAssociationChange(state.selectedAssociation().value(), tool));
    EXPECT_EQ(manager->callCount(Op::applyDefaultApplication), 1); // only the one confirmed above

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
    std::atomic<bool> redTurnedBlue = false;
    setDesktopEntryIconLookup([&](const QUrl &url) {
        const QString icon = icons.value(url.toLocalFile());
        return redTurnedBlue && url.fileName() == u"red.desktop"_qs ? path("blue.png") : icon;
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
    redTurnedBlue = true;
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
}

// Every symbol the interface names is found in the installed theme and paints pixels.
TEST(SymbolIconsTest, EverySymbolTheInterfaceNamesHasAMappingThatDraws)
{
    ensureIconTheme();
    QStringList symbols =
        u"arrow.clockwise plus clock clock.arrow.circlepath arrow.uturn.backward checkmark.square "
        u"checkmark.square.fill checklist.checked chevron.down chevron.right square app app.dashed "
        u"folder doc.on.doc doc.badge.gearshape arrow.right"_qs.split(u' ');
    for (ExtensionCategory category : EnumTraits<ExtensionCategory>::allCases)
        symbols.append(iconSystemName(category));
    for (AssociationFilter filter : EnumTraits<AssociationFilter>::allCases)
        symbols.append(systemImageName(filter));
    for (AssociationVerificationStatus status : EnumTraits<AssociationVerificationStatus>::allCases)
        symbols.append(systemImageName(status));
    for (BulkAssociationRowStatus status : EnumTraits<BulkAssociationRowStatus>::allCases)
        symbols.append(systemImageName(status));
    for (const QString &symbol : symbols) {
        EXPECT_FALSE(resolvedThemeIconName(symbol).isEmpty()) << symbol.toStdString();
        const QImage image = symbolIcon(symbol, QColor(Qt::red)).pixmap(QSize(16, 16)).toImage();
        EXPECT_TRUE(std::ranges::any_of(std::views::iota(0, 256), [&](int i) {
            return qAlpha(image.pixel(i % 16, i / 16)) > 0;
        })) << symbol.toStdString();
    }
}

// Tab from where the focus is (the window itself when nothing has it) until the focus is on
// `target`; false when a whole round of the focus chain never gets there.
bool tabTo(QWidget *target)
{
    for (int i = 0; i < 200 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : target->window(),
                        Qt::Key_Tab);
    return QApplication::focusWidget() == target;
}

TEST_F(ChangeCommandTest, KeyboardAloneReachesAndPressesEveryToolbarCommandInOrder)
{
    manager->setHistory({record(u"C"_qs, u"txt"_qs, viewer, Status::verified)});
    waitForTask(state.load());
    window().activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activeWindow() == &window(); }));
    QMenu *bulkMenu = commands->bulkMenuAction()->menu();
    QSignalSpy menuShown(bulkMenu, &QMenu::aboutToShow);
    QObject::connect(bulkMenu, &QMenu::aboutToShow, bulkMenu, &QMenu::close, Qt::QueuedConnection);
    checkForBulk({u"pdf"_qs, u"txt"_qs});

    // The commands follow the window's own items, each with no shortcut of its own, and are
    // reached in toolbar order before the sidebar.
    const QList<QAction *> actions{window().refreshAction(),   window().addExtensionAction(),
                                   window().historyAction(),   commands->undoAction(),
                                   commands->bulkModeAction(), commands->bulkMenuAction()};
    window().sidebar()->searchField()->setFocus();
    ASSERT_TRUE(tabTo(window().toolbar()->widgetForAction(actions.first())));
    for (QAction *action : actions) {
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
        EXPECT_EQ(QApplication::focusWidget(), window().toolbar()->widgetForAction(action));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget(), window().sidebar()->modeButton(0));

    // Pressed with Space or Return (the menu before bulk mode is switched off again).
    const QList<std::tuple<QAction *, Qt::Key, std::function<bool()>>> presses{
        {actions[0], Qt::Key_Space,
         [&] {
             return manager->calls().contains({Op::loadAssociation, u"pdf"_qs});
         }},
        {actions[3], Qt::Key_Return,
         [&] {
             return manager->calls().contains({Op::undoChange, u"C"_qs});
         }},
        {actions[5], Qt::Key_Return, [&] { return !menuShown.isEmpty(); }},
        {actions[4], Qt::Key_Space, [&] { return !state.isBulkSelectionEnabled(); }},
    };
    for (const auto &[action, key, done] : presses) {
        SCOPED_TRACE(action->text().toStdString());
        QWidget *button = window().toolbar()->widgetForAction(action);
        // The offscreen platform leaves a closed menu as the active window.
        window().activateWindow();
        ASSERT_TRUE(processEventsUntil([&] { return QApplication::activeWindow() == &window(); }));
        ASSERT_TRUE(tabTo(button));
        QTest::keyClick(button, key);
        EXPECT_TRUE(processEventsUntil(done));
    }
}

} // namespace
} // namespace halvora::test
