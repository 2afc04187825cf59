// Other processes change the desktop's associations while the service runs: every load
// afterwards must answer from the files as they are now, not from what GIO read before.
// main() builds the fixture tree before anything calls glib (glib reads XDG once).

#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::makeDesktopService;
using test::waitForTask;
using Scope = test::XdgFixture::Scope;

test::XdgFixture *tree = nullptr;

// Runs a shell command in a child process that sees only the fixture tree.
void runElsewhere(const QString &command)
{
    QProcess shell;
    shell.setProcessEnvironment(tree->environment());
    shell.start(u"sh"_qs, {u"-c"_qs, command});
    ASSERT_TRUE(shell.waitForFinished(60000)) << command.toStdString();
    ASSERT_EQ(shell.exitCode(), 0) << command.toStdString() << shell.readAllStandardError().toStdString();
}

QString quoted(const QString &path)
{
    return u'\'' + path + u'\'';
}

std::optional<QString> currentId(const FileAssociation &association)
{
    return association.currentApp() ? std::optional(association.currentApp()->bundleIdentifier())
                                    : std::nullopt;
}

QStringList candidateIds(const FileAssociation &association)
{
    QStringList ids;
    for (const AssociatedApp &app : association.candidateApps())
        ids.append(app.bundleIdentifier());
    return ids;
}

TEST(OutsideChanges, EveryLoadAfterAnotherProcessChangedTheDesktopSeesTheChange)
{
    const auto service = makeDesktopService();
    ASSERT_EQ(currentId(waitForTask(service->loadAssociation(u"pdf"_qs))), test::standard::documentViewer);

    // `gio mime TYPE APP` replaces the user's mimeapps.list by renaming a new file over it.
    for (int round = 0; round < 4; ++round) {
        const QString app = round % 2 ? test::standard::documentViewer : test::standard::browser;
        test::setDefaultWithGioMime(tree->environment(), u"application/pdf"_qs, app);
        ASSERT_EQ(currentId(waitForTask(service->loadAssociation(u"pdf"_qs))), app) << "round " << round;
    }

    // An editor that writes the list in place, keeping everything else in it.
    const QString list = tree->mimeAppsListPath(Scope::user);
    QFile original(list);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(original.readAll());
    original.close();
    static const QRegularExpression markdownDefault(u"^text/markdown=.*$"_qs,
                                                    QRegularExpression::MultilineOption);
    ASSERT_TRUE(text.contains(markdownDefault));
    const QString variants[2] = {tree->outsideDir() + u"/notes.list"_qs,
                                 tree->outsideDir() + u"/editor.list"_qs};
    const QString ids[2] = {test::standard::notes, test::standard::textEditor};
    for (int i = 0; i < 2; ++i) {
        QFile variant(variants[i]);
        ASSERT_TRUE(variant.open(QIODevice::WriteOnly));
        variant.write(QString(text).replace(markdownDefault, u"text/markdown="_qs + ids[i] + u';').toUtf8());
    }
    for (int round = 0; round < 4; ++round) {
        runElsewhere(u"cat "_qs + quoted(variants[round % 2]) + u" > "_qs + quoted(list));
        ASSERT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), ids[round % 2])
            << "round " << round;
    }

    // Newly installed applications with a rebuilt MIME cache.
    for (int round = 0; round < 2; ++round) {
        const QString id = u"org.example.Installed%1.desktop"_qs.arg(round);
        const QString path = tree->applicationsDir(Scope::user) + u'/' + id;
        runElsewhere(u"printf '[Desktop Entry]\\nType=Application\\nName=Installed\\nExec=true %%U\\n"
                     u"MimeType=application/pdf;\\n' > "_qs +
                     quoted(path) + u" && update-desktop-database "_qs +
                     quoted(tree->applicationsDir(Scope::user)));
        EXPECT_TRUE(candidateIds(waitForTask(service->loadAssociation(u"pdf"_qs))).contains(id))
            << "round " << round;
    }
}

TEST(OutsideChanges, AFullLoadListsATypeThatAnotherProcessRegistered)
{
    const auto service = makeDesktopService();
    const auto hasEpub = [](const QList<FileAssociation> &all) {
        return std::find_if(all.cbegin(), all.cend(),
                            [](const FileAssociation &a) { return a.fileExtension() == u"epub"_qs; });
    };
    const QList<FileAssociation> before = waitForTask(service->loadRegisteredAssociations());
    ASSERT_EQ(hasEpub(before), before.cend());

    test::setDefaultWithGioMime(tree->environment(), u"application/epub+zip"_qs,
                                test::standard::documentViewer);
    const QList<FileAssociation> after = waitForTask(service->loadRegisteredAssociations());
    const auto epub = hasEpub(after);
    ASSERT_NE(epub, after.cend());
    EXPECT_EQ(currentId(*epub), test::standard::documentViewer);
    EXPECT_EQ(after.size(), before.size() + 1);
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    return halvora::test::runTestsOnStandardDesktop(argc, argv, halvora::tree);
}
