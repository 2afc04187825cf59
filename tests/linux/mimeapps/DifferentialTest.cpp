#include "RandomDesktopTree.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <iostream>

namespace halvora {
namespace {

// A failing tree is kept on disk and named; HALVORA_DIFF_SEED and HALVORA_DIFF_TREES pick others.
TEST(MimeAppsResolver, AnswersAsGioOnRandomDesktops)
{
    const std::uint64_t seed = qEnvironmentVariableIsSet("HALVORA_DIFF_SEED")
                                   ? qEnvironmentVariable("HALVORA_DIFF_SEED").toULongLong()
                                   : 20261207;
    const int trees = qEnvironmentVariableIsSet("HALVORA_DIFF_TREES")
                          ? qEnvironmentVariableIntValue("HALVORA_DIFF_TREES")
                          : 300;
    int answers = 0, defaults = 0, longLists = 0;
    for (int i = 0; i < trees && !HasFailure(); ++i) {
        QTemporaryDir root;
        const std::uint64_t tree = seed * 1000003u + std::uint64_t(i);
        const QProcessEnvironment environment = test::writeRandomDesktop(root.path(), tree);
        const MimeAppsResolver resolver(XdgEnvironment::from(environment));
        const std::string where = "tree " + std::to_string(tree) + " in " + root.path().toStdString();
        for (const GioProbeLine &line :
             test::compareWithGio(environment, test::randomDesktopTypes, resolver, where)) {
            ++answers;
            defaults += line.defaultId ? 1 : 0;
            longLists += line.candidateIds.size() >= 2 ? 1 : 0;
        }
        root.setAutoRemove(!HasFailure());
    }
    // The trees must make GIO answer something worth comparing.
    EXPECT_GT(defaults, answers / 4);
    EXPECT_GT(longLists, answers / 4);
    std::cout << answers << " answers, " << defaults << " defaults, " << longLists
              << " with several candidates\n";
}

} // namespace
} // namespace halvora
