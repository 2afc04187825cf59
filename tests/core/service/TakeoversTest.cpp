#include "core/service/Takeovers.h"
#include "support/SampleAssociations.h"

#include <gtest/gtest.h>

namespace halvora::test {
namespace {

using S = AssociationVerificationStatus;

TEST(Takeovers, OnlyAConfirmedNewestRecordWhoseAppIsNoLongerTheDefault)
{
    const AssociatedApp chosen = app(u"Chosen"_qs, u"chosen.desktop"_qs);
    const AssociatedApp moved = app(u"Chosen"_qs, u"chosen.desktop"_qs, u"/home/u/.local"_qs);
    const AssociatedApp old = app(u"Old"_qs, u"old.desktop"_qs);
    const AssociatedApp intruder = app(u"Intruder"_qs, u"intruder.desktop"_qs, u"/opt"_qs);
    // apng shares png's type.
    const QString png = u"png"_qs, apng = u"apng"_qs, jpg = u"jpg"_qs;
    struct Case {
        const char *name;
        QList<std::pair<QString, S>> history; // newest first
        std::optional<AssociatedApp> current;
        std::optional<AssociatedApp> expected; // the app to put back; none: no takeover
        QList<AssociatedApp> candidates = {};
    };
    const QList<Case> cases{
        {"verified, still in force", {{png, S::verified}}, chosen, {}},
        {"verified, another app now", {{png, S::verified}}, intruder, chosen},
        {"verified, no default now", {{png, S::verified}}, {}, chosen},
        {"verified, same ID elsewhere on disk", {{png, S::verified}}, moved, {}},
        {"verified, installed copy proposed", {{png, S::verified}}, intruder, moved, {intruder, moved}},
        {"undone, previous app in force", {{png, S::undoVerified}}, old, {}},
        {"undone, replacement back again", {{png, S::undoVerified}}, chosen, old},
        {"apply not confirmed", {{png, S::verificationFailed}}, intruder, {}},
        {"undo failed", {{png, S::undoFailed}}, intruder, {}},
        {"newest failed after an older verified", {{png, S::apiFailed}, {png, S::verified}}, intruder, {}},
        {"verified after a failure", {{png, S::verified}, {png, S::apiFailed}}, intruder, chosen},
        {"same type changed later", {{apng, S::verified}, {png, S::undoVerified}}, chosen, {}},
        {"only a change of another extension of the type", {{apng, S::verified}}, intruder, chosen},
        {"records of other types only", {{jpg, S::verified}}, intruder, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QList<AssociationChangeRecord> history;
        for (const auto &[extension, status] : c.history) {
            const QString type = extension == jpg ? u"image/jpeg"_qs : u"image/png"_qs;
            history.append(AssociationChangeRecord(u"r%1"_qs.arg(history.size()), extension, type, old,
                                                   chosen, Timestamp(1.0), status, std::nullopt));
        }
        FileAssociation association(png, u"image/png"_qs, c.current, c.candidates);
        DefaultApplicationOrigin origin;
        origin.summary = u"~/.config/mimeapps.list 3행에서 지정"_qs;
        association.setOrigin(std::make_shared<const DefaultApplicationOrigin>(origin));
        // The jpg entry keeps the recorded app: only the png entry can be taken over.
        const QList<Takeover> found =
            takeovers({FileAssociation(jpg, u"image/jpeg"_qs, chosen, {}), association}, history);
        QList<Takeover> expected;
        if (c.expected)
            expected.append(Takeover{association, history.first(), *c.expected, origin.summary});
        EXPECT_EQ(found, expected);
    }
}

} // namespace
} // namespace halvora::test
