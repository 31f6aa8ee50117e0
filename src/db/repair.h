#pragma once

#include "db/database.h"
#include "db/schema.h"

#include <QMap>
#include <QString>

namespace zumen {

struct RepairReport {
    QString backupPath;              // the damaged file, kept as it was
    QMap<QString, long long> rows;   // rows recovered into each table of the schema, by table name
    long long rowsDropped = 0;       // rows read but refused by the rebuilt file (a unique key, a bad value)
    long long rowsUnplaced = 0;      // rows whose table could not be told: left out, still in the backup
    long long rowsRecovered() const; // all rows now in the rebuilt file
};

// What the start-up did with a file of an older version.
struct UpgradeReport {
    int from = Schema::CurrentVersion; // the file's version as it was opened
    QString backupPath;                // the copy of the file as it was, made before the upgrade
    QString failure;                   // why the file was left at its version; empty when upgraded
};

// Rebuilds a damaged database file in place with every row that can still be read, read by the
// sqlite3 program found on PATH into a new file with exactly our schema, renamed into place.
// The damaged file is first copied to PATH.bak1 (or the next free number; a backup already
// holding the same bytes is used again), never overwritten. Throws DbError, leaving the file
// as it was: 3343 for a file that is no SQLite database at all (no backup made), 3051 when the
// program is missing, fails or nothing at all could be read, Schema::NewerFileError for a file
// of a newer version, whose tables this program does not know.
RepairReport repairDatabase(const QString &path);

// Opens the file, with checkStructure checking its whole structure first (a cost that grows with
// the file); a file found damaged is repaired once and opened again. A second failure, or any
// other error, is thrown to the caller; a file of a newer version is refused untouched
// (Schema::NewerFileError).
Database openRepairing(const QString &path, RepairReport *report = nullptr, bool checkStructure = true);

// Brings a file of an older version to the current one: first a copy of it as it is, PATH.v<old>.bak
// (PATH.v<old>.bak2 … when that is taken), then Schema::upgrade in one transaction. A copy that
// cannot be written (a read-only folder, a full disk) or an upgrade that fails (locked by another
// desk) leaves the file as it was, told in the report: it still works, its searches slower, and
// the next start tries again. Only damage (3343) and a newer file are thrown. The progress is told
// again about every few thousand engine steps while one runs.
UpgradeReport upgradeOlder(Database &db, const Schema::Progress &progress = {});

} // namespace zumen
