#include "support/temp_db.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : -1;
}

// A result far larger than memory should allow stays on disk: the recordset holds keys.
TEST(Keyset, LargeResultKeepsKeysNotRows)
{
    TempDb t;
    const int rows = 40000;
    t.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                          "INSERT INTO DT (ID, Namae, Str1, Text1) SELECT i, 'name ' || i, 'A1-' || i, "
                          "printf('%.4000c', 'x') FROM n")
               .arg(rows));
    const QString path = t.path();
    t.db().close();

    Database db = Database::open(path);
    const long before = residentKiB();
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE Str1 like 'A1*' "));
    rs.moveLast();
    EXPECT_EQ(rs.recordCount(), rows);
    EXPECT_EQ(rs.field(QStringLiteral("ID")).toInteger(), rows);
    rs.moveFirst();
    rs.move(rows / 2);
    EXPECT_EQ(rs.field(QStringLiteral("Namae")).toString(), QStringLiteral("name %1").arg(rows / 2 + 1));
    EXPECT_EQ(rs.field(QStringLiteral("Text1")).toString().size(), 4000);
    const long grown = residentKiB() - before;
    // 160 MB of rows; the keys take 320 KB, SQLite's page cache a few MB.
    EXPECT_LT(grown, 24 * 1024) << "resident memory grew by " << grown << " KiB";
}

} // namespace
