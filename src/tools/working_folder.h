#pragma once

#include "db/folders.h"

#include <QString>
#include <QStringList>

namespace zumen {

class Database;

// Making and checking a working folder.
namespace WorkingFolder {
// Creates QV.MDB with every table, starting layouts and the two folder options, the
// scan/ and files/ folders and the placeholder image, making the folder and its parents when
// they are missing. Refuses a folder that already holds a QV.MDB with anything in it. The
// database is complete before it takes its name. Throws DbError, or
// std::runtime_error for file system faults, with a Japanese message.
void init(const QString &folder);
// The record and history layouts a new archive starts with, added to empty tables.
void writeStartingLayouts(Database &db);
// init plus sample records with page images and history entries.
void demo(const QString &folder);
// What the folder's archive (QV.MDB, or the server QV.SERVER names) lacks, a version other than
// this program's among it; empty when it holds everything. The archive's version goes to version.
QStringList check(const QString &folder, int *version = nullptr);

} // namespace WorkingFolder

} // namespace zumen
