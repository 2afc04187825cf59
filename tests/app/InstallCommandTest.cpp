#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProcessResult {
    int exitCode = -1;
    QString output;
};

ProcessResult run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return {-1, QStringLiteral("timed out")};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// Installs the build into a fresh prefix, as a packager would, and checks that desktop
// environments and software centres would accept what lands there.
TEST(InstallCommandTest, InstallPutsAValidDesktopEntryIconAndMetainfoInTheirPlaces)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const ProcessResult install = run(QStringLiteral(HALVORA_CMAKE_COMMAND),
                                      {QStringLiteral("--install"), QStringLiteral(HALVORA_BINARY_DIR),
                                       QStringLiteral("--prefix"), prefix.path()});
    ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();

    const QDir root(prefix.path());
    const QString entry = root.filePath(QStringLiteral("share/applications/org.halvora.Halvora.desktop"));
    const QString icon =
        root.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/org.halvora.Halvora.svg"));
    const QString metainfo = root.filePath(QStringLiteral("share/metainfo/org.halvora.Halvora.metainfo.xml"));
    EXPECT_TRUE(QFileInfo(root.filePath(QStringLiteral("bin/halvora"))).isExecutable());
    ASSERT_TRUE(QFileInfo::exists(entry));
    ASSERT_TRUE(QFileInfo::exists(icon));
    ASSERT_TRUE(QFileInfo::exists(metainfo));

    const ProcessResult entryCheck = run(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(entryCheck.exitCode, 0) << entryCheck.output.toStdString();
    EXPECT_TRUE(entryCheck.output.trimmed().isEmpty()) << entryCheck.output.toStdString();

    // The entry names the icon and the program that were installed with it.
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("\nIcon=org.halvora.Halvora\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=halvora\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nCategories=Settings;DesktopSettings;Qt;\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nName[ko]=")));

    if (QStandardPaths::findExecutable(QStringLiteral("appstreamcli")).isEmpty())
        GTEST_SKIP() << "appstreamcli is not installed";
    const ProcessResult metainfoCheck =
        run(QStringLiteral("appstreamcli"),
            {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--strict"), metainfo});
    EXPECT_EQ(metainfoCheck.exitCode, 0) << metainfoCheck.output.toStdString();
}

} // namespace
