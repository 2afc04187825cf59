// The window with 2,000 associations on the offscreen platform: one keystroke in the search
// field, through the state and the list model, to the repainted list, against repainting the
// same list without a keystroke; and a window from construction to its first painted, filled
// list, against the same window with an empty list.
#include "app/DesktopServices.h"
#include "app/ExtensionSidebarView.h"
#include "app/MainWindow.h"
#include "app/SidebarListModel.h"
#include "app/SymbolIcons.h"
#include "core/model/ExtensionCatalog.h"
#include "core/state/HalvoraState.h"
#include "support/TestIsolation.h"
#include "support/doubles/ScriptedFileAssociationManager.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

using namespace halvora;
using halvora::test::ScriptedFileAssociationManager;

namespace {

QList<FileAssociation> associations(int count)
{
    QList<AssociatedApp> apps;
    for (int i = 0; i < 12; ++i) {
        const QString id = QStringLiteral("org.example.App%1.desktop").arg(i);
        apps.append(AssociatedApp(QStringLiteral("App %1").arg(i), id,
                                  QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/") + id)));
    }
    QList<FileAssociation> list;
    for (int i = 0; i < count; ++i) {
        const QString extension = QStringLiteral("x%1").arg(i, 4, 10, QLatin1Char('0'));
        const AssociatedApp &app = apps.at(i % apps.size());
        std::optional<AssociatedApp> current;
        if (i % 7 != 0)
            current = app;
        list.append(FileAssociation(extension, QStringLiteral("application/x-") + extension, current,
                                    {app, apps.at((i + 1) % apps.size())}));
    }
    return list;
}

struct Window {
    explicit Window(int count)
    {
        manager->setRegisteredAssociations(associations(count));
        window.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        window.show();
        while (state.isLoading() || state.associations().size() != count)
            QCoreApplication::processEvents();
        // Every row is listed: the catalog puts these unknown extensions in one group.
        for (ExtensionCategory category : EnumTraits<ExtensionCategory>::allCases) {
            if (!state.isGroupExpanded(category))
                state.toggleGroup(category);
        }
        QCoreApplication::processEvents();
    }

    void repaintList() { window.sidebar()->listView()->viewport()->repaint(); }

    std::shared_ptr<ScriptedFileAssociationManager> manager =
        std::make_shared<ScriptedFileAssociationManager>();
    HalvoraState state{manager, ExtensionCatalog::defaultCatalog()};
    MainWindow window{state, DesktopServices{}};
};

void BM_RepaintList(benchmark::State &run)
{
    Window w(int(run.range(0)));
    for (auto _ : run)
        w.repaintList();
}
BENCHMARK(BM_RepaintList)->Arg(2000)->Unit(benchmark::kMillisecond);

// Typing "1" narrows 2,000 rows to the 200-odd whose extension holds a 1; Backspace widens
// them again. Each iteration is one of the two keystrokes and the repaint that follows.
void BM_SearchKeystroke(benchmark::State &run)
{
    Window w(int(run.range(0)));
    QLineEdit *field = w.window.sidebar()->searchField();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("x"));
    bool narrow = true;
    for (auto _ : run) {
        if (narrow)
            QTest::keyClick(field, Qt::Key_1);
        else
            QTest::keyClick(field, Qt::Key_Backspace);
        narrow = !narrow;
        w.repaintList();
    }
    run.counters["rows"] = double(w.window.sidebar()->listModel()->rowCount());
}
BENCHMARK(BM_SearchKeystroke)->Arg(2000)->Unit(benchmark::kMillisecond);

// From building the window to its list painted with every row loaded; 0 is the baseline.
void BM_FirstFilledPaint(benchmark::State &run)
{
    for (auto _ : run) {
        Window w(int(run.range(0)));
        w.repaintList();
    }
}
BENCHMARK(BM_FirstFilledPaint)->Arg(0)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    halvora::test::isolateUserEnvironment();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ensureIconTheme();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
