#include "app/ApplicationGraph.h"
#include "app/MainWindow.h"
#include "app/commands/ChangeCommands.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    halvora::prepareApplication();

    // Built before the window and kept until the process ends; the window's first
    // appearance starts the one load.
    halvora::ApplicationGraph graph;
    halvora::MainWindow window(graph.state(),
                               halvora::makeDesktopServices(&halvora::ApplicationGraph::describeApplication));
    halvora::installChangeCommands(window);
    window.show();
    return application.exec();
}
