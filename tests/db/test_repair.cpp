#include "db/db_error.h"
#include "db/repair.h"
#include "db/schema.h"
#include "support/temp_db.h"
#include "tools/working_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <functional>

using namespace zumen;

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Rows of a table as the sqlite3 program reads them: 0 for a table the file lacks, so an oracle
// file with tables of its own making (or none) is counted as it is.
long long rawCount(const QString &path, const QString &table)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"),
            {QStringLiteral("-readonly"), path, QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)});
    p.waitForFinished(60000);
    return p.readAllStandardOutput().trimmed().toLongLong();
}

// What the sqlite3 program's own recovery gives back: `sqlite3 COPY .recover | sqlite3 NEW`.
QString oracle(const QString &damaged, const QString &folder)
{
    const QString copy = folder + QStringLiteral("/oracle-input.db"),
                  out = folder + QStringLiteral("/oracle.db");
    QFile::copy(damaged, copy);
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    QProcess read, write;
    read.setStandardOutputProcess(&write);
    write.start(shell, {out});
    read.start(shell, {copy, QStringLiteral(".recover")});
    read.waitForFinished(120000);
    write.waitForFinished(120000);
    return out;
}

// A real working folder: its layouts and options, then records added as the program adds
// them, each with its page and every tenth with a history entry, so the tables' pages interleave.
QString filledFolder(const QString &folder)
{
    WorkingFolder::init(folder);
    const QString path = QDir(folder).filePath(WorkingFolder::DatabaseFile);
    Database db = Database::open(path);
    Transaction t(db);
    for (int id = 1; id <= 399; ++id) {
        db.executeNative(
            QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Text1) VALUES (%1, '図面%1', 'A-%1', '%2')")
                .arg(id)
                .arg(QString(200 + id % 300, QChar(u'a' + id % 26))));
        db.executeNative(
            QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (%1, 1, '_SCAN', 'SC%1.TIF')")
                .arg(id));
        if (id % 10 == 0)
            db.executeNative(
                QStringLiteral("INSERT INTO Hstry (ID, Page, Namae) VALUES (%1, 1, '改訂')").arg(id));
    }
    t.commit();
    return path;
}

TEST(Repair, EachDamageGivesBackAtLeastWhatTheProgramsOwnRecoveryReads)
{
    QTemporaryDir source;
    const QString pristine = filledFolder(source.path());
    const qint64 size = QFileInfo(pristine).size(), pages = size / 4096;
    const long long layoutRows =
        rawCount(pristine, QStringLiteral("Desgn")) + rawCount(pristine, QStringLiteral("DesgnHS"));

    // Bytes of `fill` over `length` bytes at each offset; no offset cuts the file to two thirds.
    const struct {
        const char *shape;
        QList<qint64> at;
        qint64 length;
        char fill;
        long long minRecords; // what this data keeps readable, a floor on any reader
    } cases[] = {
        {"cut to two thirds", {}, 0, 0, 1},
        // The page may be a leaf of the records' table: its rows are lost with it.
        {"a zeroed page in the middle", {pages / 2 * 4096}, 4096, '\0', 380},
        // Two damaged table pages once sent the old seek past the 64-bit range. The dump reads
        // each table from both ends, so the rows between the two damaged pages stay behind.
        {"two zeroed pages", {pages / 3 * 4096, pages * 2 / 3 * 4096}, 4096, '\0', 150},
        // The header survives, the table list behind it does not.
        {"a damaged schema page", {100}, 4096 - 100, '\x5A', 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shape);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("QV.MDB"));
        ASSERT_TRUE(QFile::copy(pristine, path));
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite) && (!c.at.isEmpty() || f.resize(size * 2 / 3)));
            for (const qint64 at : c.at)
                ASSERT_TRUE(f.seek(at) && f.write(QByteArray(c.length, c.fill)) == c.length);
        }
        const QByteArray damaged = digest(path);
        const QString expected = oracle(path, dir.path());
        long long expectedTotal = 0;
        for (const Schema::Table &t : Schema::tables())
            expectedTotal += rawCount(expected, t.name);

        TempDb fresh;
        RepairReport report;
        try {
            Database db = openRepairing(path, &report);
            EXPECT_TRUE(Schema::missing(db).isEmpty());
            EXPECT_EQ(Schema::version(db), Schema::CurrentVersion);
            db.close();
            EXPECT_EQ(report.backupPath, path + QStringLiteral(".bak1"));
            EXPECT_EQ(digest(report.backupPath), damaged);
        } catch (const DbError &e) {
            // Only a file that nothing reads may end without a rebuilt file.
            EXPECT_EQ(expectedTotal, 0) << e.description().toStdString();
            EXPECT_EQ(c.minRecords, 0);
            continue;
        }
        // Exactly our tables and indexes: nothing of the program's own making is kept; the text
        // index is made anew from the records.
        EXPECT_EQ(rawCount(path, QStringLiteral("sqlite_master")),
                  rawCount(fresh.path(), QStringLiteral("sqlite_master")));
        EXPECT_EQ(rawCount(path, QStringLiteral("DT_Text")), rawCount(path, QStringLiteral("DT")));
        EXPECT_EQ(rawCount(path, QStringLiteral("DT_TextDirty")), 0);
        for (const Schema::Table &t : Schema::tables()) {
            EXPECT_GE(rawCount(path, t.name), rawCount(expected, t.name)) << t.name.toStdString();
            EXPECT_EQ(report.rows.value(t.name), rawCount(path, t.name)) << t.name.toStdString();
        }
        EXPECT_GE(report.rows.value(QStringLiteral("DT")), c.minRecords);
        if (c.minRecords > 0) {
            EXPECT_EQ(report.rows.value(QStringLiteral("Desgn")) +
                          report.rows.value(QStringLiteral("DesgnHS")),
                      layoutRows);
        }
        EXPECT_FALSE(QFile::exists(path + QStringLiteral(".rebuild")));
    }
}

long long scalar(Database &db, const QString &sql)
{
    Statement s = db.prepare(sql);
    return s.step() ? s.columnInteger(0) : -1;
}

long long scalar(const QString &path, const QString &sql)
{
    Database db = Database::open(path);
    return scalar(db, sql);
}

// A file of an older version is copied as it is, then brought to the current version in one
// transaction, its steps told in order; an upgrade that fails midway leaves it exactly as it
// was, with its copy, for the next open to try again.
TEST(Repair, AnOlderFileIsCopiedThenUpgradedWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const QString path = filledFolder(dir.path());
    const QString objects = QStringLiteral("SELECT count(*) FROM sqlite_master");
    EXPECT_EQ(scalar(path, QStringLiteral("PRAGMA user_version")), Schema::CurrentVersion);
    const long long whole = scalar(path, objects);
    long long old = 0;
    {
        Database db = Database::open(path);
        for (const char *family : {"Val", "Date", "Str"})
            for (int i = family[0] == 'S' ? 3 : 1; i <= 10; ++i)
                db.executeNative(QStringLiteral("DROP INDEX DT_%1%2").arg(QLatin1String(family)).arg(i));
        for (const char *sql :
             {"DROP TABLE DT_Text", "DROP TRIGGER DT_TextInsert", "DROP TRIGGER DT_TextUpdate",
              "DROP TRIGGER DT_TextDelete", "PRAGMA user_version = 0"})
            db.executeNative(QString::fromLatin1(sql));
        // The dirty list left standing is in the way of the text index's own.
        old = scalar(db, objects);
    }
    {
        Database db = openRepairing(path);
        const UpgradeReport failed = upgradeOlder(db);
        EXPECT_EQ(failed.from, 0);
        EXPECT_TRUE(failed.failure.contains(QStringLiteral("DT_TextDirty"))) << failed.failure.toStdString();
        EXPECT_EQ(failed.backupPath, path + QStringLiteral(".v0.bak"));
        EXPECT_EQ(Schema::version(db), 0);
        EXPECT_EQ(scalar(db, objects), old);
        db.executeNative(QStringLiteral("DROP TABLE DT_TextDirty"));
    }
    for (int open = 0; open < 2; ++open) {
        Database db = openRepairing(path);
        QList<int> done;
        int steps = 0;
        const UpgradeReport upgraded = upgradeOlder(db, [&](const QString &, int d, int n) {
            if (n > 0 && (done.isEmpty() || done.last() != d))
                done << d;
            steps = n;
        });
        EXPECT_TRUE(upgraded.failure.isEmpty()) << upgraded.failure.toStdString();
        EXPECT_EQ(upgraded.backupPath, open ? QString() : path + QStringLiteral(".v0.bak2"));
        QList<int> each; // every step told once, in order
        for (int n = 0; n < (open ? 0 : 30); ++n)
            each << n;
        EXPECT_EQ(done, each);
        EXPECT_EQ(steps, open ? 0 : 30);
        EXPECT_EQ(Schema::version(db), Schema::CurrentVersion);
        EXPECT_EQ(scalar(db, objects), whole);
        EXPECT_EQ(scalar(db, QStringLiteral("SELECT count(*) FROM DT_Text")), 399);
        EXPECT_EQ(db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE PartialMatch(Str1, 'Ａ－39')"))
                      .recordCount(),
                  11);
    }
    // Each copy holds the file as it was.
    for (const char *copy : {".v0.bak", ".v0.bak2"}) {
        const QString backup = path + QString::fromLatin1(copy);
        EXPECT_EQ(scalar(backup, QStringLiteral("PRAGMA user_version")), 0);
        EXPECT_EQ(scalar(backup, QStringLiteral("SELECT count(*) FROM DT")), 399);
    }
    EXPECT_EQ(scalar(path + QStringLiteral(".v0.bak2"), objects), old - 1);
}

// A file nothing can be read from is left as it was, with one backup when it was ours; a file
// that is no database of ours gets none.
TEST(Repair, ARepairThatCannotWorkLeavesTheFileAndAtMostOneBackup)
{
    QTemporaryDir dir;
    const QString path = filledFolder(dir.path());
    {
        // The header stands, every page behind it is zeros: nothing is left to read.
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(100));
        f.write(QByteArray(f.size() - 100, '\0'));
    }
    const QByteArray damaged = digest(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            openRepairing(path);
            ADD_FAILURE() << "an empty file was put in place of the damaged one";
        } catch (const DbError &e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("読める行が一つもありませんでした")) &&
                        e.description().contains(path + QStringLiteral(".bak1")))
                << e.description().toStdString();
        }
    }
    EXPECT_EQ(digest(path), damaged);
    EXPECT_EQ(digest(path + QStringLiteral(".bak1")), damaged);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".bak2")));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("QV.MDB.rebuild*")}, QDir::Files), QStringList());

    const QString other = dir.filePath(QStringLiteral("other.mdb"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("Standard Jet DB\0 not for this program", 38) == 38);
    f.close();
    const QByteArray before = digest(other);
    EXPECT_THROW(openRepairing(other), DbError);
    EXPECT_EQ(digest(other), before);
    EXPECT_FALSE(QFile::exists(other + QStringLiteral(".bak1")));
}

} // namespace
