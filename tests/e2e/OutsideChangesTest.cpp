// Other processes change the desktop's associations while the service runs: every load
// afterwards must answer from the files as they are now. Every kind of change, many rounds
// and the agreement with GIO are the resolver's freshness test; here one renamed and one
// in-place list reach the service's single and full loads. main() builds the fixture tree
// before anything calls glib (glib reads XDG once).

#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::waitForTask;

test::XdgFixture *tree = nullptr;

std::optional<QString> currentId(const FileAssociation &association)
{
    return association.currentApp() ? std::optional(association.currentApp()->bundleIdentifier())
                                    : std::nullopt;
}

TEST(OutsideChanges, EveryLoadAfterAnotherProcessChangedTheDesktopSeesTheChange)
{
    const auto service = test::makeDesktopService();
    const auto hasEpub = [](const QList<FileAssociation> &all) {
        return std::find_if(all.cbegin(), all.cend(),
                            [](const FileAssociation &a) { return a.fileExtension() == u"epub"_qs; });
    };
    const QList<FileAssociation> before = waitForTask(service->loadRegisteredAssociations());
    ASSERT_EQ(hasEpub(before), before.cend());
    ASSERT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), test::standard::textEditor);

    // `gio mime TYPE APP` renames a new list over the user's one, registering a new type.
    test::setDefaultWithGioMime(tree->environment(), u"application/epub+zip"_qs,
                                test::standard::documentViewer);
    const QList<FileAssociation> after = waitForTask(service->loadRegisteredAssociations());
    const auto epub = hasEpub(after);
    ASSERT_NE(epub, after.cend());
    EXPECT_EQ(currentId(*epub), test::standard::documentViewer);
    EXPECT_EQ(after.size(), before.size() + 1);

    // An editor that writes the list in place, keeping everything else in it.
    const QString list = u'\'' + tree->mimeAppsListPath(test::XdgFixture::Scope::user) + u'\'';
    const QString copy = u'\'' + tree->outsideDir() + u"/edited.list'"_qs;
    QProcess shell;
    shell.setProcessEnvironment(tree->environment());
    shell.start(u"sh"_qs,
                {u"-c"_qs, u"sed 's|^text/markdown=.*|text/markdown=%1;|' %2 > %3 && cat %3 > %2"_qs.arg(
                               test::standard::notes, list, copy)});
    ASSERT_TRUE(shell.waitForFinished(60000));
    ASSERT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), test::standard::notes);
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    return halvora::test::runTestsOnStandardDesktop(argc, argv, halvora::tree);
}
