#include "core/history/HistoryTestSupport.h"

#include "core/history/InMemoryKeyValueStore.h"
#include "core/history/UserDefaultsAssociationChangeHistoryStore.h"
#include "core/model/ModelJson.h"

#include <memory>

namespace halvora::test {
namespace {

const QString historyKey = u"associationChangeHistory"_qs;
const QString legacyKey = u"recentAssociationChange"_qs;

struct Fixture {
    int maxRecords = 50;
    std::shared_ptr<InMemoryKeyValueStore> defaults = std::make_shared<InMemoryKeyValueStore>();
    UserDefaultsAssociationChangeHistoryStore store{defaults, historyKey, legacyKey, maxRecords};
};

QByteArray legacyBlob(double secondsSince1970)
{
    return encodeJsonObject(RecentAssociationChange(
        u"md"_qs, u"text/markdown"_qs, app(u"old.desktop"_qs, u"old.desktop"_qs),
        app(u"new.desktop"_qs, u"new.desktop"_qs), Timestamp::fromSecondsSince1970(secondsSince1970)));
}

TEST(HistoryStoreTest, LegacyRecordIsMigratedOnce)
{
    Fixture f;
    f.defaults->write(legacyKey, legacyBlob(1700000000));

    // The legacy form's id shows its time since 1970.
    const QList<AssociationChangeRecord> first = f.store.loadHistory();
    EXPECT_EQ(first,
              QList{historyRecord(u"md|1700000000.0"_qs,
                                  Timestamp::fromSecondsSince1970(1700000000).secondsSinceReferenceDate())});
    EXPECT_FALSE(f.defaults->read(legacyKey));

    // A history already present wins, and the legacy key is then left alone.
    f.defaults->write(legacyKey, legacyBlob(5));
    EXPECT_EQ(f.store.loadHistory(), first);
    EXPECT_TRUE(f.defaults->read(legacyKey));
}

TEST(HistoryStoreTest, SaveAndUpdateKeepTheNewestInHistoryOrder)
{
    Fixture f{3};
    EXPECT_TRUE(f.store.loadHistory().isEmpty() && f.defaults->contents().isEmpty())
        << "loading an empty store writes nothing";
    for (const auto &[id, at] : {std::pair(u"A"_qs, 10), std::pair(u"C"_qs, 30), std::pair(u"B"_qs, 20)})
        f.store.save(historyRecord(id, at));
    EXPECT_EQ(idsOf(f.store.loadHistory()), (QStringList{u"C"_qs, u"B"_qs, u"A"_qs}));

    // Same id: the new record replaces the stored one.
    f.store.save(historyRecord(u"B"_qs, 25, AssociationVerificationStatus::apiFailed));
    EXPECT_EQ(f.store.loadHistory()[1], historyRecord(u"B"_qs, 25, AssociationVerificationStatus::apiFailed));

    // Past the limit the earliest change goes, even one saved last.
    f.store.save(historyRecord(u"D"_qs, 40));
    f.store.save(historyRecord(u"E"_qs, 1));
    EXPECT_EQ(idsOf(f.store.loadHistory()), (QStringList{u"D"_qs, u"C"_qs, u"B"_qs}));

    // update replaces in place and keeps changedAt; an unknown id is added.
    const QList<AssociationChangeRecord> history = f.store.loadHistory();
    const AssociationChangeRecord undone =
        history[1].updating(AssociationVerificationStatus::undoVerified, {});
    f.store.update(undone);
    EXPECT_EQ(f.store.loadHistory(), (QList<AssociationChangeRecord>{history[0], undone, history[2]}));
    f.store.update(historyRecord(u"F"_qs, 50));
    EXPECT_EQ(idsOf(f.store.loadHistory()), (QStringList{u"F"_qs, u"D"_qs, u"C"_qs}));

    f.store.clear();
    EXPECT_TRUE(f.defaults->contents().isEmpty());
}

TEST(HistoryStoreTest, CorruptDataFailsAndStaysByteForByte)
{
    // Which faults fail a record is the JSON reader's part; here: the store refuses to write
    // over what it cannot read. A broken legacy record is not migrated, and stays too.
    const std::pair<QByteArray, QByteArray> corrupt[] = {
        {"not json at all", legacyBlob(3)},
        {{}, "{\"fileExtension\": 3}"},
    };
    for (const auto &[history, legacy] : corrupt) {
        SCOPED_TRACE(history.toStdString() + legacy.toStdString());
        Fixture f;
        if (!history.isNull())
            f.defaults->write(historyKey, history);
        f.defaults->write(legacyKey, legacy);
        const QHash<QString, QByteArray> before = f.defaults->contents();

        EXPECT_THROW(f.store.loadHistory(), JsonDecodingError);
        EXPECT_THROW(f.store.save(historyRecord(u"B"_qs, 2)), JsonDecodingError);
        EXPECT_THROW(f.store.update(historyRecord(u"A"_qs, 2)), JsonDecodingError);
        EXPECT_EQ(f.defaults->contents(), before);
    }
}

} // namespace
} // namespace halvora::test
