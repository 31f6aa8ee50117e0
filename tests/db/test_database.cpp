#include "db/database.h"
#include "db/db_error.h"
#include "db/jet_sql.h"
#include "db/text_index.h"
#include "support/temp_db.h"

#include <QFile>

#include <functional>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// Runs a statement expected to fail and returns the error number it carried.
template <typename F> int errorNumber(F &&f)
{
    try {
        f();
    } catch (const DbError &e) {
        EXPECT_FALSE(e.description().isEmpty());
        return e.number();
    }
    return 0;
}

QList<qint64> ids(Database &db, const QString &sql)
{
    QList<qint64> out;
    Recordset rs = db.openRecordset(sql);
    while (!rs.eof()) {
        out << rs.field(QStringLiteral("ID")).toInteger();
        rs.moveNext();
    }
    return out;
}

// On each engine: the file, and a shared archive on the test server.
class JetTexts : public ::testing::TestWithParam<Dialect> {
protected:
    void SetUp() override
    {
        ZUMEN_REQUIRE_ENGINE(GetParam());
        const QString chr =
            GetParam() == Dialect::PostgreSQL ? QStringLiteral("chr") : QStringLiteral("char");
        t.exec(QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Str2, Date1, Val1, Text1) VALUES "
                              "(1, 'one', 'A1-100', 'Bracket', '2001-03-05', 5, 'first memo'),"
                              "(2, 'two', 'a1-200', 'O''Brien', '2001-04-01', 12.5, NULL),"
                              "(5, 'five', 'B2-300', 'ブラケット台', '2001-04-02', -3, 'contains 50% off'),"
                              "(7, 'seven', 'A1X', 'shaft_1', NULL, NULL, 'x')"));
        t.exec(QStringLiteral(
            "INSERT INTO PG (ID, Page, Dir, FileName) VALUES (5, 3, '_SCAN', 'c'), (5, 1, '_SCAN', "
            "'a'), (2, 1, ' ', 'b')"));
        t.exec(QStringLiteral("INSERT INTO DT (ID, Str1, Str2) VALUES (10, '𠮷#1', 'é#'), (11, '𠮷[x', 'É#'),"
                              " (12, 'x9' || %1(10), NULL)")
                   .arg(chr));
        // Half-width kana and full-width letters for the text index, written past it.
        t.exec(QStringLiteral("INSERT INTO DT (ID, Str3, Text2) VALUES (20, 'ﾌﾟﾚｰﾄﾎﾞﾙﾄ', 'ＡＢＣ溶接部'),"
                              " (21, 'プレート', 'abc溶接部_1'), (22, 'ﾎﾞﾙﾄﾅｯﾄ', 'cafe' || %1(769) || 's'),"
                              " (23, NULL, 'ab')")
                   .arg(chr));
    }
    TempDb t{GetParam()};
};

// Each condition selects what it would in the file engine, or fails with the engine's number.
TEST_P(JetTexts, ConditionsSelectWhatTheyWouldInTheFileEngine)
{
    const struct {
        const char *where;
        QList<qint64> ids;
        int error = 0;
    } cases[] = {
        // Jet's wildcards, letter case ignored; SQLite's own wildcards are plain characters.
        {"Str1 like 'A1*' ", {1, 2, 7}},
        {"Str2 LIKE '*ラケ*'", {5}},
        {"Str1 LIKE '?#-#*'", {1, 2, 5}},
        {"Str1 LIKE '[!a]*'", {5, 10, 11, 12}},
        {"Str2 LIKE 'shaft%'", {}},
        {"Text1 LIKE '*50%*'", {5}},
        // 含む as the search window writes it: # and [ in brackets stand for themselves; a
        // pattern matches whole characters and ends at the end of the text, not before a line break.
        {"Str1 like '𠮷[#]*' ", {10}},
        {"Str1 LIKE '[𠮷]?#'", {10}},
        {"Str1 LIKE 'x#'", {}},
        // Letter case is ignored for ASCII letters only; doubled quotes stay quotes.
        {"Str2 like 'é[#]*' ", {10}},
        {"Str2='o''brien'", {2}},
        {"Str2='x'' OR ''1''=''1'", {}},
        // The search's own text: two blanks before AND, a blank at the end.
        {"Str1 like 'A1*'  AND Date1 >= #2001/04/01# ", {2}},
        {"Date1 = #H13/4/2#", {5}},
        {"Val1 < -2.5", {5}},
        // An index finds these in value order; the rows still come in the table's order.
        {"Val1 > -10 ", {1, 2, 5}},
        {"Str1 LIKE '[z-a]*'", {}, DbErr::SyntaxError},
        {"Memo1 >= 3 ", {}, DbErr::NoSuchField},
        {"Date1 >= #2001/02/30#", {}, DbErr::SyntaxError},
        {"ID>0 ; AND ID=1", {}, DbErr::SyntaxError},
        // PartialMatch: anywhere, widths and ASCII case folded, every character itself; the
        // index answers three characters or more, and scans its own folded text for fewer.
        {"PartialMatch(Str3, 'ﾌﾟﾚｰﾄ')", {20, 21}},
        {"PartialMatch(Text2, 'abc') AND ID > 20", {21}},
        {"PartialMatch(Text2, 'ＡＢ')", {20, 21, 23}},
        {"PartialMatch(Str3, 'ﾚｰ')", {20, 21}},
        {"PartialMatch([Text2], '_1')", {21}},
        {"PartialMatch(Text2, '溶接部_')", {21}},
        {"Text2 LIKE '*\"接部_*'", {}},
        {"NOT PartialMatch(Str3, 'ボルト')", {1, 2, 5, 7, 10, 11, 12, 21, 23}},
        {"PartialMatch(Str3 'x')", {}, DbErr::SyntaxError},
        // A LIKE the index narrows down keeps its exact meaning, also where folding joins a
        // character of the value to one beside it (ﾎﾞ is ボ, e and a mark é).
        {"Text2 LIKE '*ABC*'", {21}},
        {"Str3 LIKE '*ﾌﾟﾚｰﾄﾎ*'", {20}},
        {"Str3 LIKE '*ﾞﾙﾄﾅ*'", {22}},
        {"Text2 LIKE '*cafe*' OR ID = 1", {1, 22}},
        {"NOT Text2 LIKE '*abc*'", {20, 22, 23}},
    };
    for (const auto &c : cases) {
        const QString sql = QStringLiteral("SELECT * FROM DT WHERE ") + QString::fromUtf8(c.where);
        QList<qint64> found;
        EXPECT_EQ(errorNumber([&] { found = ids(t.db(), sql); }), c.error) << c.where;
        EXPECT_EQ(found, c.ids) << c.where;
    }
    if (GetParam() != Dialect::SQLite)
        return; // the rest is the file's own text index
    // The conditions above that the index can narrow do go through it.
    for (const char *where : {"Str3 LIKE '*ﾌﾟﾚｰﾄﾎ*'", "Str3 LIKE '*ﾞﾙﾄﾅ*'", "Text2 LIKE '*cafe*' OR ID = 1"})
        EXPECT_TRUE(translateJet(QStringLiteral("SELECT * FROM DT WHERE ") + QString::fromUtf8(where))
                        .keySql()
                        .contains(QLatin1String("DT_Text")))
            << where;
    // Whether the index looks a term up or every row is read, the same keys in the same order.
    for (const auto &c : cases) {
        for (const bool lookUp : {false, true}) {
            if (c.error)
                continue;
            const JetStatement st = translateJet(
                QStringLiteral("SELECT * FROM DT WHERE ") + QString::fromUtf8(c.where), TextSearch::Index,
                [&](const QString &, const QString &) { return lookUp ? 0.0 : 1.0; });
            Statement keys = t.db().prepare(st.keySql());
            keys.bindAll(st.params);
            QList<qint64> found;
            while (keys.step())
                found << keys.column(0).toInteger();
            EXPECT_EQ(found, c.ids) << c.where << (lookUp ? " looked up" : " read row by row");
        }
    }
    // The share a lookup would leave: the rows holding every trigram over the highest ID, counted
    // no further than a quarter. A LIKE on a term that common is not narrowed and finds the same rows.
    t.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 101 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
                          "INSERT INTO DT (ID, Text3) SELECT i, 'Spare parts' FROM n"));
    ASSERT_TRUE(TextIndex::catchUp(t.db()));
    EXPECT_GT(TextIndex::lookupShare(t.db(), QStringLiteral("text3"), QStringLiteral("spare")), 0.25);
    EXPECT_EQ(TextIndex::lookupShare(t.db(), QStringLiteral("Text2"), QStringLiteral("溶接部")), 0.01);
    EXPECT_EQ(ids(t.db(), QStringLiteral("SELECT * FROM DT WHERE Text3 LIKE '*SPARE*'")).size(), 100);
}

TEST_P(JetTexts, AStatementWithATailIsRefusedAndChangesNothing)
{
    Recordset rs = t.db().openRecordset(QStringLiteral("SELECT * FROM DT"));
    const std::function<void()> tails[] = {
        [&] { t.db().execute(QStringLiteral("DELETE FROM DT WHERE ID>0 ; AND Str1 IS NULL")); },
        [&] { t.exec(QStringLiteral("DELETE FROM PG; DELETE FROM DT")); },
        [&] { t.db().prepare(QStringLiteral("-- nothing")); },
        [&] { rs.findFirst(QStringLiteral("ID>1 ; AND ID=7")); }};
    for (const auto &tail : tails)
        EXPECT_EQ(errorNumber(tail), DbErr::SyntaxError);
    EXPECT_EQ(ids(t.db(), QStringLiteral("SELECT * FROM PG")).size(), 3);

    // Blanks, comments and a closing semicolon are no tail.
    EXPECT_NO_THROW(t.db().execute(QStringLiteral("DELETE FROM DT WHERE ID>=7;")));
    EXPECT_NO_THROW(t.exec(QStringLiteral("DELETE FROM PG WHERE ID=2; /* one */ -- done\n")));
    EXPECT_EQ(ids(t.db(), QStringLiteral("SELECT * FROM DT")), (QList<qint64>{1, 2, 5}));
    EXPECT_EQ(ids(t.db(), QStringLiteral("SELECT * FROM PG")).size(), 2);
}

class Recordsets : public ::testing::TestWithParam<Dialect> {
protected:
    void SetUp() override { ZUMEN_REQUIRE_ENGINE(GetParam()); }
    TempDb t{GetParam()};
};

// Stepping past either end or reading a closed database is an error with its number, never a crash.
TEST_P(Recordsets, NavigationStopsAtTheEndsAndWorkOutlivingItsDatabaseFailsCleanly)
{
    Recordset empty = t.db().openRecordset(QStringLiteral("SELECT * FROM Pos"));
    EXPECT_EQ(errorNumber([&] { empty.moveFirst(); }), DbErr::NoCurrentRecord);
    EXPECT_EQ(errorNumber([&] { empty.field(QStringLiteral("ID")); }), DbErr::NoCurrentRecord);
    t.exec(QStringLiteral("INSERT INTO Pos (ID, Width) VALUES (3, 2100), (1, NULL), (4, 4900)"));
    Recordset rs = t.db().openRecordset(QStringLiteral("SELECT * FROM Pos"));
    rs.findFirst(QStringLiteral("ID=8"));
    EXPECT_TRUE(rs.noMatch());
    rs.findFirst(QStringLiteral("ID=1"));
    rs.move(1);
    EXPECT_EQ(rs.field(QStringLiteral("width")).toDouble(), 4900.0);
    rs.moveNext();
    EXPECT_EQ(errorNumber([&] { rs.moveNext(); }), DbErr::NoCurrentRecord);

    Transaction begun(t.db());
    t.db().close();
    EXPECT_EQ(errorNumber([&] { rs.moveFirst(); }), DbErr::ObjectClosed);
    EXPECT_EQ(errorNumber([&] { begun.commit(); }), DbErr::ObjectClosed);
    EXPECT_EQ(errorNumber([&] { Transaction late(t.db()); }), DbErr::ObjectClosed);
}

// Keys are read in pages, or all at once where an index answers; a row added meanwhile is counted
// once. Values are bound, never written into the statement, and one that does not fit its column
// is refused.
TEST_P(Recordsets, KeysAreReadAsNeededAndWritesAreBound)
{
    t.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                          "INSERT INTO DT (ID, Namae, Val1) SELECT i, 'r' || i, 1000 - i FROM n"));
    for (const char *sql : {"SELECT * FROM DT ORDER BY ID", "SELECT * FROM DT WHERE Val1 >= 0"}) {
        SCOPED_TRACE(sql);
        Recordset rs = t.db().openRecordset(QString::fromLatin1(sql));
        EXPECT_TRUE(rs.hasAtLeast(1000));
        EXPECT_FALSE(rs.hasAtLeast(1001));
        rs.move(700); // past the first page of keys
        EXPECT_EQ(rs.field(QStringLiteral("ID")).toInteger(), 701);
        rs.findFirst(QStringLiteral("Namae='r5'"));
        EXPECT_EQ(rs.absolutePosition(), 4);
        rs.findFirst(QStringLiteral("ID=1001"));
        EXPECT_TRUE(rs.noMatch());
        EXPECT_EQ(rs.recordCount(), 1000);
        rs.moveLast();
        EXPECT_EQ(rs.field(QStringLiteral("ID")).toInteger(), 1000);
    }
    // A range or a value on any item of the layout is found through an index of the file, not a scan.
    for (const char *where : {"Val7 > 3", "Date10 >= #2001/01/01# AND Date10 < #2001/02/01#", "Str5 = 'x'"}) {
        if (GetParam() != Dialect::SQLite)
            break;
        const JetStatement st =
            translateJet(QStringLiteral("SELECT * FROM DT WHERE ") + QString::fromLatin1(where));
        Statement plan = t.db().prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + st.keySql(false));
        ASSERT_TRUE(plan.step());
        EXPECT_TRUE(plan.column(3).toString().startsWith(QStringLiteral("SEARCH DT USING COVERING INDEX")))
            << plan.column(3).toString().toStdString();
    }

    const QString hostile = QStringLiteral("x'); DROP TABLE DT; --");
    Recordset open = t.db().openRecordset(QStringLiteral("SELECT * FROM DT"));
    open.addNew();
    open.setField(QStringLiteral("ID"), 5000);
    open.setField(QStringLiteral("Namae"), hostile);
    open.setField(QStringLiteral("Val1"), QStringLiteral("2.5"));
    EXPECT_EQ(errorNumber([&] { open.setField(QStringLiteral("Date1"), QStringLiteral("2001/02/30")); }),
              DbErr::TypeConversion);
    open.update();
    EXPECT_EQ(open.recordCount(), 1001);
    open.moveLast();
    EXPECT_EQ(open.field(QStringLiteral("Namae")).toString(), hostile);
    EXPECT_EQ(open.field(QStringLiteral("Val1")), Variant(2.5));
}

TEST_P(Recordsets, TransactionRollsBackUnlessCommitted)
{
    {
        Transaction tx(t.db());
        t.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (1)"));
        t.exec(QStringLiteral("INSERT INTO PG (ID, Page) VALUES (1, 1)"));
        EXPECT_EQ(errorNumber([&] { t.exec(QStringLiteral("INSERT INTO PG (ID, Page) VALUES (1, 1)")); }),
                  DbErr::DuplicateKey);
    }
    EXPECT_TRUE(t.db().openRecordset(QStringLiteral("SELECT * FROM DT")).eof());
    {
        Transaction outer(t.db());
        t.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (2)"));
        {
            Transaction inner(t.db());
            t.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (3)"));
        }
        outer.commit();
    }
    EXPECT_EQ(ids(t.db(), QStringLiteral("SELECT * FROM DT")), QList<qint64>{2});
    if (GetParam() != Dialect::SQLite)
        return;
    // Durable through a kill and a power cut: a rollback journal and full sync.
    Statement mode = t.db().prepare(
        QStringLiteral("SELECT journal_mode || synchronous FROM pragma_journal_mode, pragma_synchronous"));
    ASSERT_TRUE(mode.step());
    EXPECT_EQ(mode.column(0).toString(), QStringLiteral("delete2"));
}

INSTANTIATE_TEST_SUITE_P(Engines, JetTexts, ::testing::Values(Dialect::SQLite, Dialect::PostgreSQL),
                         engineParamName);
INSTANTIATE_TEST_SUITE_P(Engines, Recordsets, ::testing::Values(Dialect::SQLite, Dialect::PostgreSQL),
                         engineParamName);

TEST(DatabaseErrors, EachFaultCarriesItsNumber)
{
    QTemporaryDir dir;
    EXPECT_EQ(errorNumber([&] { Database::open(dir.filePath(QStringLiteral("QV.MDB"))); }),
              DbErr::FileNotFound);

    QFile text(dir.filePath(QStringLiteral("text.mdb")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write(QByteArray(8192, 'x')) == 8192);
    text.close();
    EXPECT_EQ(errorNumber([&] { Database::open(text.fileName()); }), DbErr::UnrecognisedFormat);

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.mdb")));
    EXPECT_EQ(errorNumber([&] { Database::open(dir.filePath(QStringLiteral("folder.mdb"))); }),
              DbErr::CannotOpen);
    TempDb t;
    EXPECT_EQ(errorNumber([&] { t.db().openRecordset(QStringLiteral("SELECT * FROM Nothing")); }),
              DbErr::NoSuchTable);
    t.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (1)"));
    Recordset rs = t.db().openRecordset(QStringLiteral("SELECT * FROM DT"));
    EXPECT_EQ(errorNumber([&] { rs.field(QStringLiteral("Nope")); }), DbErr::NoSuchField);

    // A progress handler that answers false stops a long statement; removed, it runs through.
    const QString longRun = QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                                           "LIMIT 100000) SELECT count(*) FROM c");
    int calls = 0;
    t.db().setProgressHandler([&] { return ++calls < 3; }, 1000);
    EXPECT_EQ(errorNumber([&] { t.exec(longRun); }), DbErr::Reserved);
    EXPECT_EQ(calls, 3);
    t.db().setProgressHandler({});
    EXPECT_NO_THROW(t.exec(longRun));

    // A reader in the middle of the table keeps it from being dropped under it.
    Statement reading = t.db().prepare(QStringLiteral("SELECT * FROM DT"));
    ASSERT_TRUE(reading.step());
    EXPECT_EQ(errorNumber([&] { t.exec(QStringLiteral("DROP TABLE DT")); }), DbErr::Locked);
}

TEST(DatabaseErrors, AFileLockedByAnotherProgramIsReported)
{
    TempDb t;
    {
        Database other = Database::open(t.path());
        other.executeNative(QStringLiteral("BEGIN EXCLUSIVE"));
        EXPECT_EQ(errorNumber([&] { Database::open(t.path(), 50); }), DbErr::LockedByOther);
    }
    EXPECT_NO_THROW(Database::open(t.path(), 50));
}

// The server's faults reach the caller with the numbers the file's would have.
TEST(DatabaseErrors, ServerFaultsCarryTheFileEnginesNumbers)
{
    ZUMEN_REQUIRE_SERVER();
    TempDb t(Dialect::PostgreSQL);
    EXPECT_EQ(errorNumber([&] { Database::connect(t.conninfo() + QStringLiteral(" user=zumen_nobody")); }),
              DbErr::InvalidAccount);

    // Another desk holds the write lock past this one's wait.
    Database other = Database::connect(t.conninfo());
    Database waiting = Database::connect(t.conninfo(), {}, 100);
    {
        Transaction holding(other);
        EXPECT_EQ(errorNumber([&] { Transaction late(waiting); }), DbErr::LockedByOther);
    }
    EXPECT_NO_THROW(Transaction(waiting).commit());

    // A connection the server ended: told, not crashed, and the message names no password.
    Statement pid = waiting.prepare(QStringLiteral("SELECT pg_backend_pid()"));
    ASSERT_TRUE(pid.step());
    other.executeNative(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid.columnInteger(0)));
    pid.run();
    EXPECT_EQ(errorNumber([&] { waiting.openRecordset(QStringLiteral("SELECT * FROM DT")); }),
              DbErr::ConnectionFailed);
}

} // namespace
