#include "db/history_store.h"
#include "db/numbered_error.h"
#include "db/record_store.h"
#include "db/schema.h"
#include "db/text_index.h"
#include "support/temp_db.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <functional>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// Records 2, 5 and 9; record 9 has page 1, and 12 only a page row (another desk's half-saved record).
// On each engine: the file, and a shared archive on the test server.
class Stores : public ::testing::TestWithParam<Dialect> {
protected:
    void SetUp() override
    {
        ZUMEN_REQUIRE_ENGINE(GetParam());
        t.exec(QStringLiteral("INSERT INTO DT (ID, Namae, Val1, Date1) VALUES (2, 'two', 3, '2001-03-05'),"
                              " (5, 'five', 2.5, NULL), (9, 'nine', NULL, NULL)"));
        t.exec(
            QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (9, 1, '_SCAN', 'SC000009.TIF'),"
                           " (12, 1, ' ', 'x.tif')"));
    }
    qint64 count(const QString &sql)
    {
        Statement s = t.db().prepare(sql);
        return s.step() ? s.columnInteger(0) : -1;
    }
    // Another desk on the same archive.
    Database otherDesk()
    {
        return GetParam() == Dialect::PostgreSQL ? Database::connect(t.conninfo()) : Database::open(t.path());
    }
    TempDb t{GetParam()};
    RecordStore records{t.db()};
    HistoryStore histories{t.db()};
};

TEST_P(Stores, RecordsReadTypedAndStepToTheirNeighbours)
{
    const auto two = records.record(2);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->value(QStringLiteral("Namae")), Variant("two"));
    EXPECT_EQ(two->value(QStringLiteral("Val1")), Variant(3.0)); // a whole number is still a double
    EXPECT_EQ(two->value(QStringLiteral("Date1")), Variant(QDate(2001, 3, 5)));
    EXPECT_FALSE(records.record(3));

    EXPECT_EQ(records.neighbour(2, true), 5);
    EXPECT_EQ(records.neighbour(5, false), 2);
    EXPECT_EQ(records.neighbour(9, true), std::nullopt);
    EXPECT_EQ(records.neighbour(0, true), 2); // from the empty card: the first record

    // A page: how many the record has, and the one asked for with its folder trimmed.
    t.exec(QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (9, 3, ' sub ', NULL)"));
    const RecordStore::PageLookup third = records.page(9, 3);
    EXPECT_EQ(third.count, 2);
    ASSERT_TRUE(third.page);
    EXPECT_EQ(third.page->dir, QStringLiteral("sub"));
    EXPECT_EQ(third.page->file, QString());
    EXPECT_EQ(records.page(9, 2).count, 2);
    EXPECT_FALSE(records.page(9, 2).page);
    EXPECT_EQ(records.page(2, 1).count, 0);
}

TEST_P(Stores, NewAndFreeIdentifiersPassOverRecordsPagesAndWaitingScans)
{
    EXPECT_EQ(records.newRecordId(), 10);
    EXPECT_EQ(records.freeRecordId(9), 10);
    EXPECT_EQ(records.freeRecordId(12), 13); // a page row alone holds the number
    const QDir scans(t.folder());
    QFile waiting(scans.filePath(ScanFileName(10, std::nullopt)));
    ASSERT_TRUE(waiting.open(QIODevice::WriteOnly));
    EXPECT_EQ(records.freeRecordId(10, t.folder()), 11);
    EXPECT_EQ(records.freeRecordId(10), 10);
    // Scan names pad to their width and write larger numbers whole.
    EXPECT_EQ(ScanFileName(123, 100), QStringLiteral("SC000123100.TIF"));
    EXPECT_EQ(ScanFileName(1234567, std::nullopt), QStringLiteral("SC1234567.TIF"));
    EXPECT_TRUE(records.scanReferenced(QStringLiteral("SC000009.TIF")));
    EXPECT_FALSE(records.scanReferenced(QStringLiteral("x.tif"))); // not a scan

    t.exec(QStringLiteral("DELETE FROM DT"));
    EXPECT_EQ(records.newRecordId(), 1);
}

TEST_P(Stores, SavesUpdateInPlaceOrAddAndBindEveryValue)
{
    const QString quoted = QStringLiteral("it's; DROP TABLE DT");
    records.saveRecord(5, {{QStringLiteral("Namae"), quoted}});
    records.saveRecord(7, {{QStringLiteral("Namae"), QStringLiteral("seven")}});
    EXPECT_EQ(records.record(5)->value(QStringLiteral("Namae")), Variant(quoted));
    EXPECT_EQ(records.record(5)->value(QStringLiteral("Val1")), Variant(2.5)); // columns not written stay
    EXPECT_EQ(records.record(7)->value(QStringLiteral("Namae")), Variant("seven"));

    records.putPage(9, 1, QStringLiteral("A"), quoted);
    records.putPage(9, 2, QStringLiteral(" "), QStringLiteral("b.tif"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM PG WHERE ID=9")), 2);
    EXPECT_EQ(records.page(9, 1).page->file, quoted);
    EXPECT_EQ(records.nextPage(9), 3);
    EXPECT_EQ(records.nextPage(5), std::nullopt);

    histories.saveEntry(5, 1, {{QStringLiteral("Namae"), QStringLiteral("first")}});
    histories.saveEntry(5, 1, {{QStringLiteral("Namae"), QStringLiteral("first again")}});
    histories.saveEntry(5, 3, {{QStringLiteral("Str1"), QString()}});
    EXPECT_EQ(histories.entry(5, 1)->value(QStringLiteral("Namae")), Variant("first again"));
    EXPECT_EQ(histories.entry(5, 3)->value(QStringLiteral("Str1")), Variant(""));
    EXPECT_FALSE(histories.entry(5, 2));
    EXPECT_FALSE(histories.entry(6, 1));
    EXPECT_EQ(histories.newEntryNumber(5), 4);
    EXPECT_EQ(histories.newEntryNumber(6), 1);
}

TEST_P(Stores, ANewRecordComesWithItsFirstPageOrNotAtAll)
{
    const RowValues values{{QStringLiteral("Namae"), QStringLiteral("new")}};
    const auto unused = [](std::int32_t) -> PageRef { throw std::logic_error("not taken"); };
    EXPECT_EQ(records.addRecord(10, values, {1, QStringLiteral("_SCAN"), QStringLiteral("SC000010.TIF")}, {},
                                unused),
              10);
    EXPECT_EQ(records.page(10, 1).page->file, QStringLiteral("SC000010.TIF"));

    // The number was taken meanwhile: the next free one (13, past the page row of 12) and a moved page.
    t.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (11)"));
    std::int32_t askedFor = 0;
    const auto moveTo = [&](std::int32_t id) {
        askedFor = id;
        return PageRef{1, QStringLiteral("_SCAN"), ScanFileName(id, std::nullopt)};
    };
    EXPECT_EQ(records.addRecord(11, values, {1, QStringLiteral("_SCAN"), QStringLiteral("SC000011.TIF")}, {},
                                moveTo),
              13);
    EXPECT_EQ(askedFor, 13);
    EXPECT_EQ(records.page(13, 1).page->file, QStringLiteral("SC000013.TIF"));
    EXPECT_TRUE(records.record(11)->value(QStringLiteral("Namae")).isNull()); // the other desk's, untouched

    // A page that cannot be written leaves no record behind, and nor does a failed move.
    t.exec(GetParam() == Dialect::PostgreSQL
               ? QStringLiteral("ALTER TABLE PG ADD CONSTRAINT refuse CHECK (ID <> 14)")
               : QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON PG WHEN NEW.ID=14 BEGIN SELECT "
                                "RAISE(ABORT, 'refused'); END"));
    EXPECT_ANY_THROW(
        records.addRecord(14, values, {1, QStringLiteral(" "), QStringLiteral("a.tif")}, {}, unused));
    EXPECT_FALSE(records.record(14));
    t.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (15)"));
    const auto failing = [](std::int32_t) -> PageRef {
        throw NumberedError(75, QStringLiteral("no rename"));
    };
    EXPECT_THROW(
        records.addRecord(15, values, {1, QStringLiteral(" "), QStringLiteral("a.tif")}, {}, failing),
        NumberedError);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM DT WHERE ID>15")), 0);
}

// Two desks on one archive: a save over a row the other desk (or any program) wrote since it was
// shown is refused, whatever it changed; shown again, it saves.
TEST_P(Stores, ASaveOverARowChangedSinceItWasShownIsRefused)
{
    Database other = otherDesk();
    RecordStore theirs(other);
    const auto refusal = [](const std::function<void()> &save) {
        try {
            save();
        } catch (const NumberedError &e) {
            return e.number() == 3197 ? e.description() : e.alertText();
        }
        return QStringLiteral("saved");
    };
    const RowValues mine{{QStringLiteral("Namae"), QStringLiteral("mine")}};
    RowValues shown = *records.record(5);
    theirs.saveRecord(5, {{QStringLiteral("Namae"), QStringLiteral("theirs")}}, theirs.record(5));
    EXPECT_TRUE(refusal([&] { records.saveRecord(5, mine, shown); }).contains(QStringLiteral("レコード 5 ")));
    EXPECT_EQ(records.record(5)->value(QStringLiteral("Namae")), Variant("theirs"));

    shown = *records.record(5);
    other.executeNative(QStringLiteral("UPDATE DT SET Val1=9 WHERE ID=5"));
    EXPECT_NE(refusal([&] { records.saveRecord(5, mine, shown); }), QStringLiteral("saved"));
    shown = *records.record(5);
    const RowValues saved = records.saveRecord(5, mine, shown);
    EXPECT_EQ(saved, *records.record(5)); // as the card keeps it for its next save
    EXPECT_EQ(records.record(5)->value(QStringLiteral("Val1")), Variant(9.0));

    // Deleted since, or added where none was shown: never written over or brought back.
    shown = *records.record(9);
    other.executeNative(QStringLiteral("DELETE FROM DT WHERE ID=9"));
    other.executeNative(QStringLiteral("INSERT INTO DT (ID) VALUES (20)"));
    EXPECT_NE(refusal([&] { records.saveRecord(9, mine, shown); }), QStringLiteral("saved"));
    EXPECT_NE(refusal([&] { records.saveRecord(20, mine, RowValues()); }), QStringLiteral("saved"));
    EXPECT_FALSE(records.record(9));

    histories.saveEntry(5, 1, mine);
    shown = *histories.entry(5, 1);
    other.executeNative(QStringLiteral("UPDATE Hstry SET Str1='x' WHERE ID=5 AND Page=1"));
    EXPECT_TRUE(refusal([&] { histories.saveEntry(5, 1, mine, shown); }).contains(QStringLiteral("履歴 1 ")));
}

QList<qint64> found(Database &db, const char *where)
{
    QList<qint64> ids;
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ") + QString::fromUtf8(where));
    for (; !rs.eof(); rs.moveNext())
        ids << rs.field(QStringLiteral("ID")).toInteger();
    return ids;
}

// The card's saves leave the index in step when they commit; another program's writes are
// folded in by the next search, or scanned past while the file cannot be written.
class FileStores : public Stores {};

TEST_P(FileStores, TheTextIndexFollowsSavesAndOtherProgramsWrites)
{
    records.saveRecord(5, {{QStringLiteral("Str1"), QStringLiteral("ﾌﾟﾚｰﾄ")}});
    records.addRecord(10, {{QStringLiteral("Text4"), QStringLiteral("ＡＢＣ溶接部")}}, {1, {}, {}}, {},
                      [](std::int32_t) { return PageRef{}; });
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM DT_TextDirty")), 0);
    EXPECT_EQ(
        count(QStringLiteral("SELECT count(*) FROM DT_Text WHERE Str1='プレート' OR Text4='abc溶接部'")), 2);

    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {t.path(), QStringLiteral("UPDATE DT SET Str1='プレート台' WHERE ID=2;"
                                          "DELETE FROM DT WHERE ID=5")});
    ASSERT_TRUE(shell.waitForFinished(30000) && shell.exitCode() == 0);
    {
        // A file another program holds for writing: the index is behind, the answer is not.
        Database other = Database::open(t.path());
        other.executeNative(QStringLiteral("BEGIN IMMEDIATE"));
        Database locked = Database::open(t.path(), 50);
        EXPECT_EQ(found(locked, "PartialMatch(Str1, 'ﾌﾟﾚｰﾄ')"), QList<qint64>{2});
    }
    EXPECT_EQ(found(t.db(), "PartialMatch(Str1, 'ﾌﾟﾚｰﾄ') OR PartialMatch(Text4, 'abc')"),
              (QList<qint64>{2, 10}));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM DT_TextDirty")), 0);

    // A file made before the index gets it, filled, when it is brought to the current version.
    QTemporaryDir dir;
    Database old = Database::create(dir.filePath(QStringLiteral("QV.MDB")));
    for (const QString &sql : Schema::createStatements())
        old.executeNative(sql);
    old.executeNative(QStringLiteral("INSERT INTO DT (ID, Text1) VALUES (1, 'ﾎﾞﾙﾄ'), (2, NULL)"));
    EXPECT_EQ(found(old, "PartialMatch(Text1, 'ボルト')"), QList<qint64>{1});
    Schema::upgrade(old);
    Statement indexed = old.prepare(QStringLiteral("SELECT group_concat(rowid) FROM DT_Text"));
    ASSERT_TRUE(indexed.step());
    EXPECT_EQ(indexed.column(0).toString(), QStringLiteral("1,2"));
}

INSTANTIATE_TEST_SUITE_P(Engines, Stores, ::testing::Values(Dialect::SQLite, Dialect::PostgreSQL),
                         engineParamName);
INSTANTIATE_TEST_SUITE_P(File, FileStores, ::testing::Values(Dialect::SQLite), engineParamName);

} // namespace
