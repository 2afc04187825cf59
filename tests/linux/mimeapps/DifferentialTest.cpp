#include "RandomDesktopTree.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <iostream>

namespace halvora {
namespace {

struct Tally {
    int defaults = 0;
    int longLists = 0;
    int answers = 0;
};

QString shown(const GioProbeLine &line)
{
    return QStringLiteral("%1 [%2]").arg(line.defaultId.value_or(QStringLiteral("-")),
                                         line.candidateIds.join(u';'));
}

// Returns a description of the first disagreement, or nothing.
std::optional<std::string> disagreement(std::uint64_t seed, Tally &tally)
{
    QTemporaryDir root;
    const test::RandomDesktopTree tree(root.path(), seed);
    const QList<GioProbeLine> gio = test::askGio(tree.environment, tree.types);
    const MimeAppsResolver resolver(XdgEnvironment::from(tree.environment));
    if (gio.size() != tree.types.size())
        return "the probe answered " + std::to_string(gio.size()) + " lines";
    for (const GioProbeLine &line : gio) {
        const GioProbeLine ours = test::askResolver(resolver, line.type);
        ++tally.answers;
        tally.defaults += line.defaultId ? 1 : 0;
        tally.longLists += line.candidateIds.size() >= 2 ? 1 : 0;
        if (ours != line) {
            root.setAutoRemove(!qEnvironmentVariableIsSet("HALVORA_DIFF_KEEP"));
            return QStringLiteral("tree %1 (%2), type %3: GIO %4, resolver %5")
                .arg(seed)
                .arg(root.path(), line.type, shown(line), shown(ours))
                .toStdString();
        }
    }
    return std::nullopt;
}

// Trees always run whatever the seed: add here every tree that ever disagreed (none has
// yet; 0 stands in so that the list is never empty).
const std::uint64_t regressionTrees[] = {0};

TEST(MimeAppsResolver, AnswersAsGioOnRandomDesktops)
{
    const std::uint64_t seed = qEnvironmentVariableIsSet("HALVORA_DIFF_SEED")
                                   ? qEnvironmentVariable("HALVORA_DIFF_SEED").toULongLong()
                                   : 20261207;
    const int trees = qEnvironmentVariableIsSet("HALVORA_DIFF_TREES")
                          ? qEnvironmentVariableIntValue("HALVORA_DIFF_TREES")
                          : 300;
    std::vector<std::uint64_t> seeds(std::begin(regressionTrees), std::end(regressionTrees));
    for (int i = 0; i < trees; ++i)
        seeds.push_back(seed * 1000003u + std::uint64_t(i));
    int failures = 0;
    Tally tally;
    for (const std::uint64_t tree : seeds) {
        if (const std::optional<std::string> problem = disagreement(tree, tally)) {
            ADD_FAILURE() << *problem;
            if (++failures == 5)
                break;
        }
    }
    // The trees must make GIO answer something worth comparing.
    EXPECT_GT(tally.defaults, tally.answers / 4);
    EXPECT_GT(tally.longLists, tally.answers / 4);
    std::cout << tally.answers << " answers, " << tally.defaults << " defaults, " << tally.longLists
              << " with several candidates\n";
}

} // namespace
} // namespace halvora
