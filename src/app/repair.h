#pragma once

#include "app/database.h"

#include <QString>

namespace zumen {

struct RepairReport {
    QString backupPath; // the damaged file, kept as it was
    long long rowsCopied = 0;
    long long rowsDropped = 0;   // rows read but refused by a unique key of the rebuilt file
    bool schemaRecovered = true; // false when the table list was unreadable and rebuilt from scratch
};

// Rebuilds a damaged database file in place with every row that can still be read.
// The damaged file is first copied to PATH.bak1 (or the next free number), never overwritten.
// A file that is no SQLite database at all is left untouched and 3343 is thrown.
RepairReport repairDatabase(const QString &path);

// Opens the file, checking its structure; a damaged file is repaired once and opened again.
// A second failure, or any other error, is thrown to the caller.
Database openRepairing(const QString &path, RepairReport *report = nullptr);

} // namespace zumen
