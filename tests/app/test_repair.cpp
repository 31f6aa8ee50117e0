#include "app/db_error.h"
#include "app/repair.h"
#include "support/temp_db.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

long long count(Database &db, const char *table)
{
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM ") + QString::fromLatin1(table));
    return rs.recordCount();
}

// Long rows spread DT over many pages; one page in the middle is then overwritten.
void damageTable(const QString &path, int rows)
{
    {
        Database db = Database::open(path);
        Transaction t(db);
        for (int i = 1; i <= rows; ++i) {
            db.executeNative(QStringLiteral("INSERT INTO DT (ID, Namae, Text1) VALUES (%1, 'r%1', '%2')")
                                 .arg(i)
                                 .arg(QString(500, QChar(u'a' + i % 26))));
        }
        db.executeNative(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, '/scan')"));
        t.commit();
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 pages = f.size() / 4096;
    f.seek((pages / 2) * 4096);
    f.write(QByteArray(4096, '\xA5'));
}

TEST(Repair, DamagedFileIsKeptAndRebuiltWithReadableRows)
{
    TempDb t;
    const QString path = t.path();
    t.db().close();
    damageTable(path, 400);
    const QByteArray damaged = digest(path);

    EXPECT_THROW(
        {
            Database db = Database::open(path);
            db.verifyIntegrity();
        },
        DbError);

    RepairReport report;
    Database db = openRepairing(path, &report);
    EXPECT_EQ(report.backupPath, path + QStringLiteral(".bak1"));
    EXPECT_EQ(digest(report.backupPath), damaged);
    EXPECT_NO_THROW(db.verifyIntegrity());
    const long long rows = count(db, "DT");
    EXPECT_GT(rows, 300);
    EXPECT_LT(rows, 400);
    EXPECT_EQ(rows, report.rowsCopied - 1); // the UserOP row is counted too
    EXPECT_EQ(count(db, "UserOP"), 1);
    Recordset last = db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID=400"));
    EXPECT_EQ(last.field(QStringLiteral("Namae")).toString(), QStringLiteral("r400"));
    db.close();

    // A second repair never overwrites the first backup.
    damageTable(path, 0);
    RepairReport second;
    openRepairing(path, &second);
    EXPECT_EQ(second.backupPath, path + QStringLiteral(".bak2"));
    EXPECT_EQ(digest(path + QStringLiteral(".bak1")), damaged);
}

TEST(Repair, AFileThatIsNoDatabaseIsLeftAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("QV.MDB"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Standard Jet DB\0 not for this program", 38);
    f.close();
    const QByteArray before = digest(path);
    try {
        openRepairing(path);
        FAIL() << "opened a file that is no database";
    } catch (const DbError &e) {
        EXPECT_EQ(e.number(), DbErr::UnrecognisedFormat);
    }
    EXPECT_EQ(digest(path), before);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".bak1")));
}

} // namespace
