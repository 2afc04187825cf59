#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Exit code (-1 when it crashed or did not end) and everything it wrote.
std::pair<int, std::string> run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAll().toStdString()};
}

// Installs the build into a fresh prefix, as a packager would, and checks that desktop
// environments and software centres would accept what lands there.
TEST(InstallCommandTest, InstallPutsAValidDesktopEntryIconAndMetainfoInTheirPlaces)
{
    QTemporaryDir prefix;
    const auto install =
        run(QStringLiteral(HALVORA_CMAKE_COMMAND),
            {u"--install"_qs, QStringLiteral(HALVORA_BINARY_DIR), u"--prefix"_qs, prefix.path()});
    ASSERT_EQ(install.first, 0) << install.second;

    const QDir root(prefix.path());
    const QString entry = root.filePath(u"share/applications/org.halvora.Halvora.desktop"_qs);
    const QString metainfo = root.filePath(u"share/metainfo/org.halvora.Halvora.metainfo.xml"_qs);
    EXPECT_TRUE(QFileInfo(root.filePath(u"bin/halvora"_qs)).isExecutable());
    EXPECT_TRUE(
        QFileInfo::exists(root.filePath(u"share/icons/hicolor/scalable/apps/org.halvora.Halvora.svg"_qs)));
    EXPECT_EQ(run(u"desktop-file-validate"_qs, {entry}), std::pair(0, std::string()));

    // The entry names the icon and the program that were installed with it.
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString &line : {u"\nIcon=org.halvora.Halvora\n"_qs, u"\nExec=halvora\n"_qs,
                                u"\nCategories=Settings;DesktopSettings;Qt;\n"_qs, u"\nName[ko]="_qs})
        EXPECT_TRUE(text.contains(line)) << line.toStdString();

    if (QStandardPaths::findExecutable(u"appstreamcli"_qs).isEmpty())
        GTEST_SKIP() << "appstreamcli is not installed";
    const auto check = run(u"appstreamcli"_qs, {u"validate"_qs, u"--no-net"_qs, u"--strict"_qs, metainfo});
    EXPECT_EQ(check.first, 0) << check.second;
}

} // namespace
