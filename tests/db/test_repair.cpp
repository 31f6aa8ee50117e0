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

#include <sqlite3.h>

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

TEST(Repair, AFileThatIsNoDatabaseIsLeftAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("QV.MDB"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("Standard Jet DB\0 not for this program", 38) == 38);
    f.close();
    const QByteArray before = digest(path);
    EXPECT_THROW(openRepairing(path), DbError);
    EXPECT_EQ(digest(path), before);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".bak1")));
}

// Rows per table of a file read with the raw library, so an oracle file with tables of its
// own making (or none) is counted as it is: a missing table counts 0.
long long rawCount(const QString &path, const QString &table)
{
    sqlite3 *db = nullptr;
    long long n = 0;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray sql = QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table).toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            n = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(db);
    return n;
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

    const struct {
        const char *shape;
        std::function<void(QFile &)> damage;
        long long minRecords; // what this data keeps readable, a floor on any reader
    } cases[] = {
        {"cut to a third", [&](QFile &f) { f.resize(size / 3); }, 1},
        {"a zeroed page in the middle",
         [&](QFile &f) {
             f.seek((pages / 2) * 4096);
             f.write(QByteArray(4096, '\0'));
         },
         390},
        // Two damaged table pages once sent the old seek past the 64-bit range. The dump reads
        // each table from both ends, so the rows between the two damaged pages stay behind.
        {"two zeroed pages",
         [&](QFile &f) {
             for (const qint64 page : {pages / 3, pages * 2 / 3}) {
                 f.seek(page * 4096);
                 f.write(QByteArray(4096, '\0'));
             }
         },
         200},
        // The header survives, the table list behind it does not.
        {"a damaged schema page",
         [&](QFile &f) {
             f.seek(100);
             f.write(QByteArray(4096 - 100, '\x5A'));
         },
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shape);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("QV.MDB"));
        ASSERT_TRUE(QFile::copy(pristine, path));
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            c.damage(f);
        }
        const QByteArray damaged = digest(path);
        const QString expected = oracle(path, dir.path());
        long long expectedTotal = 0;
        for (const Schema::Table &t : Schema::tables())
            expectedTotal += rawCount(expected, t.name);

        RepairReport report;
        try {
            Database db = openRepairing(path, &report);
            EXPECT_TRUE(Schema::missing(db).isEmpty());
            db.close();
            EXPECT_EQ(report.backupPath, path + QStringLiteral(".bak1"));
            EXPECT_EQ(digest(report.backupPath), damaged);
        } catch (const DbError &e) {
            // Only a file that nothing reads may end without a rebuilt file.
            EXPECT_EQ(expectedTotal, 0) << e.description().toStdString();
            EXPECT_EQ(c.minRecords, 0);
            continue;
        }
        // Exactly our tables and indexes: nothing of the program's own making is kept.
        EXPECT_EQ(rawCount(path, QStringLiteral("sqlite_master")), Schema::createStatements().size());
        for (const Schema::Table &t : Schema::tables()) {
            EXPECT_GE(rawCount(path, t.name), rawCount(expected, t.name)) << t.name.toStdString();
            EXPECT_EQ(report.rows.value(t.name), rawCount(path, t.name)) << t.name.toStdString();
        }
        EXPECT_GE(report.rows.value(QStringLiteral("DT")), c.minRecords);
        if (c.minRecords > 0)
            EXPECT_EQ(report.rows.value(QStringLiteral("Desgn")) +
                          report.rows.value(QStringLiteral("DesgnHS")),
                      layoutRows);
        EXPECT_FALSE(QFile::exists(path + QStringLiteral(".rebuild")));
    }
}

TEST(Repair, ARepairThatCannotWorkLeavesTheFileAndOneBackup)
{
    QTemporaryDir dir;
    const QString path = filledFolder(dir.path());
    {
        // The header stands, every page behind it is zeros: nothing is left to read.
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(100);
        f.write(QByteArray(f.size() - 100, '\0'));
    }
    const QByteArray damaged = digest(path);
    const auto failure = [&](const std::function<void()> &repair) {
        try {
            repair();
        } catch (const DbError &e) {
            return e.description();
        }
        return QStringLiteral("(repaired)");
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString said = failure([&] { openRepairing(path); });
        EXPECT_TRUE(said.contains(QStringLiteral("読める行が一つもありませんでした")) &&
                    said.contains(path + QStringLiteral(".bak1")))
            << said.toStdString();
    }
    EXPECT_EQ(digest(path), damaged);
    EXPECT_EQ(digest(path + QStringLiteral(".bak1")), damaged);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".bak2")));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("QV.MDB.rebuild*")}, QDir::Files), QStringList());

    // Without the sqlite3 program the repair says so and touches nothing.
    const QByteArray pathBefore = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()));
    EXPECT_TRUE(failure([&] { repairDatabase(path); }).contains(QStringLiteral("sqlite3")));
    qputenv("PATH", pathBefore);
    EXPECT_EQ(digest(path), damaged);
}

} // namespace
