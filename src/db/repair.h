#pragma once

#include "db/database.h"

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

// Rebuilds a damaged database file in place with every row that can still be read, read by the
// sqlite3 program found on PATH into a new file with exactly our schema, renamed into place.
// The damaged file is first copied to PATH.bak1 (or the next free number; a backup already
// holding the same bytes is used again), never overwritten. Throws DbError, leaving the file
// as it was: 3343 for a file that is no SQLite database at all (no backup made), 3051 when the
// program is missing, fails or nothing at all could be read.
RepairReport repairDatabase(const QString &path);

// Opens the file, with checkStructure checking its whole structure first (a cost that grows with
// the file); a file found damaged is repaired once and opened again. A second failure, or any
// other error, is thrown to the caller. Indexes a file of an older version lacks are added.
Database openRepairing(const QString &path, RepairReport *report = nullptr, bool checkStructure = true);

} // namespace zumen
