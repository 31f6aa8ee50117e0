#include "app/repair.h"

#include "app/db_error.h"
#include "app/jet_sql.h"
#include "app/schema.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>
#include <limits>

namespace zumen {
namespace {

bool looksLikeSqlite(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

QString freeBackupName(const QString &path)
{
    for (int n = 1;; ++n) {
        const QString candidate = path + QStringLiteral(".bak") + QString::number(n);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

// A raw read-only handle on the damaged file: the engine layer's checks would refuse it.
struct RawSource {
    sqlite3 *db = nullptr;
    ~RawSource() { sqlite3_close_v2(db); }
};

struct Entry {
    QString type, name, sql;
};

bool readSchema(sqlite3 *db, QList<Entry> &entries)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL", -1, &stmt,
                           nullptr) != SQLITE_OK)
        return false;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        auto text = [&](int i) {
            return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)));
        };
        entries.append({text(0), text(1), text(2)});
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

// Copies the rows of one table in rowid order. Where a damaged page stops the walk, it
// seeks past it with growing steps, so rows behind the damage are still found.
void copyTable(sqlite3 *src, Database &dst, const QString &table, RepairReport &report)
{
    const QString select =
        QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid > ?1 ORDER BY rowid").arg(quoteIdentifier(table));
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(src, select.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return;
    const int columns = sqlite3_column_count(stmt);
    QStringList params;
    for (int i = 1; i <= columns; ++i)
        params << QStringLiteral("?%1").arg(i);
    QStringList names;
    for (int i = 1; i < columns; ++i)
        names << quoteIdentifier(QString::fromUtf8(sqlite3_column_name(stmt, i)));
    Statement write = dst.prepare(QStringLiteral("INSERT OR IGNORE INTO %1 (rowid, %2) VALUES (%3)")
                                      .arg(quoteIdentifier(table), names.join(u','), params.join(u',')));

    sqlite3_int64 last = std::numeric_limits<sqlite3_int64>::min();
    sqlite3_int64 skip = 1;
    int failedSeeks = 0;
    while (failedSeeks < 64) {
        sqlite3_reset(stmt);
        sqlite3_bind_int64(stmt, 1, last);
        int rc;
        bool progressed = false;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int i = 0; i < columns; ++i) {
                Variant v;
                switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER:
                    v = Variant(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
                    break;
                case SQLITE_FLOAT:
                    v = Variant(sqlite3_column_double(stmt, i));
                    break;
                case SQLITE_NULL:
                    break;
                default:
                    v = Variant(
                        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)),
                                          sqlite3_column_bytes(stmt, i)));
                }
                write.bind(i + 1, v);
            }
            write.run();
            if (sqlite3_changes(dst.handle()) == 1)
                ++report.rowsCopied;
            else
                ++report.rowsDropped;
            last = sqlite3_column_int64(stmt, 0);
            progressed = true;
            skip = 1;
            failedSeeks = 0;
        }
        if (rc == SQLITE_DONE)
            break;
        if (!progressed) {
            ++failedSeeks;
            skip *= 2;
        }
        if (last == std::numeric_limits<sqlite3_int64>::min())
            last = 0;
        if (last > std::numeric_limits<sqlite3_int64>::max() - skip)
            break;
        last += skip;
    }
    sqlite3_finalize(stmt);
}

} // namespace

RepairReport repairDatabase(const QString &path)
{
    if (!looksLikeSqlite(path))
        throw DbError(DbErr::UnrecognisedFormat,
                      QStringLiteral("データベース形式 '%1' を認識できません。").arg(path));

    RepairReport report;
    report.backupPath = freeBackupName(path);
    if (!QFile::copy(path, report.backupPath))
        throw DbError(DbErr::CannotOpen,
                      QStringLiteral("'%1' の控えを作れません。修復を中止しました。").arg(report.backupPath));
    const QString journal = path + QStringLiteral("-journal");
    if (QFileInfo::exists(journal))
        QFile::copy(journal, report.backupPath + QStringLiteral("-journal"));

    RawSource source;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &source.db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        throw DbError(DbErr::CannotOpen, QStringLiteral("ファイル '%1' を開けません。").arg(path));

    QList<Entry> entries;
    if (!readSchema(source.db, entries) || entries.isEmpty()) {
        report.schemaRecovered = false;
        entries.clear();
        for (const QString &sql : Schema::createStatements())
            entries.append({sql.startsWith(QLatin1String("CREATE TABLE")) ? QStringLiteral("table")
                                                                          : QStringLiteral("index"),
                            sql.section(u'"', 1, 1), sql});
    }

    const QString rebuilt = path + QStringLiteral(".rebuild");
    QFile::remove(rebuilt);
    QFile::remove(rebuilt + QStringLiteral("-journal"));
    {
        Database target = Database::create(rebuilt);
        Transaction t(target);
        // Unique keys first, so rows that a damage duplicated cannot break them.
        for (const Entry &e : entries) {
            if (e.type == QLatin1String("table") && !e.name.startsWith(QLatin1String("sqlite_")))
                target.executeNative(e.sql);
        }
        for (const Entry &e : entries) {
            if (e.type == QLatin1String("index"))
                target.executeNative(e.sql);
        }
        for (const Entry &e : entries) {
            if (e.type == QLatin1String("table") && !e.name.startsWith(QLatin1String("sqlite_")))
                copyTable(source.db, target, e.name, report);
        }
        t.commit();
        target.close();
    }
    sqlite3_close_v2(source.db);
    source.db = nullptr;

    // The old journal belongs to the damaged file (kept with its backup): never apply it to the new one.
    QFile::remove(journal);
    if (std::rename(QFile::encodeName(rebuilt).constData(), QFile::encodeName(path).constData()) != 0)
        throw DbError(DbErr::CannotOpen, QStringLiteral("修復したファイルを '%1' に置けません。").arg(path));
    return report;
}

Database openRepairing(const QString &path, RepairReport *report)
{
    try {
        Database db = Database::open(path);
        db.verifyIntegrity();
        return db;
    } catch (const DbError &e) {
        if (e.number() != DbErr::UnrecognisedFormat)
            throw;
    }
    const RepairReport done = repairDatabase(path);
    if (report)
        *report = done;
    Database db = Database::open(path);
    db.verifyIntegrity();
    return db;
}

} // namespace zumen
