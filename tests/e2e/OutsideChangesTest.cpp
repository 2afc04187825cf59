// Other processes change the desktop's associations while the service runs: every load
// afterwards must answer from the files as they are now. Every kind of change (in place,
// renamed, entries, caches), many rounds and the agreement with GIO are the resolver's
// freshness test; here `gio mime` changes reach the service's full and single loads. main()
// builds the fixture tree before anything calls glib (glib reads XDG once).

#include "support/SampleAssociations.h"
#include "support/doubles/WaitForTask.h"
#include "support/fixtures/DesktopService.h"
#include "support/fixtures/GioMime.h"
#include "support/fixtures/StandardFixture.h"

#include <gtest/gtest.h>

namespace halvora {
namespace {

using test::waitForTask;

test::XdgFixture *tree = nullptr;

QString currentId(const FileAssociation &association)
{
    return association.currentApp() ? association.currentApp()->bundleIdentifier() : QString();
}

TEST(OutsideChanges, EveryLoadAfterAnotherProcessChangedTheDesktopSeesTheChange)
{
    const auto service = test::makeDesktopService();
    const QList<FileAssociation> before = waitForTask(service->loadRegisteredAssociations());
    ASSERT_FALSE(test::extensionsOf(before).contains(u"epub"_qs));
    ASSERT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), test::standard::textEditor);

    // `gio mime TYPE APP` renames a new list over the user's one, registering a new type.
    test::setDefaultWithGioMime(tree->environment(), u"application/epub+zip"_qs,
                                test::standard::documentViewer);
    const QList<FileAssociation> after = waitForTask(service->loadRegisteredAssociations());
    const qsizetype epub = test::extensionsOf(after).indexOf(u"epub"_qs);
    ASSERT_GE(epub, 0);
    EXPECT_EQ(currentId(after[epub]), test::standard::documentViewer);
    EXPECT_EQ(after.size(), before.size() + 1);
    test::setDefaultWithGioMime(tree->environment(), u"text/markdown"_qs, test::standard::notes);
    EXPECT_EQ(currentId(waitForTask(service->loadAssociation(u"md"_qs))), test::standard::notes);
}

} // namespace
} // namespace halvora

int main(int argc, char **argv)
{
    return halvora::test::runTestsOnStandardDesktop(argc, argv, halvora::tree);
}
