#pragma once

#include "db/jet_sql.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace zumen {

class Database;

// The seven tables of the database file and what each must hold.
namespace Schema {

// The file's version (SQLite's user_version): 1 has the tables, the item indexes and the text
// index with its triggers; every file made before versions were kept reads 0. A later change of
// the tables raises it, so that a file can tell which program it was made for.
inline constexpr int CurrentVersion = 1;
// The error number of a file made by a newer version of the program.
inline constexpr int NewerFileError = 4001;

// The file's version.
int version(Database &db);
// The version in the header of the file at path, read without opening it: a file from a newer
// program is refused before anything touches it. -1 when it is no SQLite file.
int headerVersion(const QString &path);
// Throws NewerFileError, telling the user to open the file with a newer version, when version is
// beyond this program's.
void refuseNewer(const QString &path, int version);

// Where an upgrade stands: told when each step starts, as words for the user and how many of
// how many steps are done.
using Progress = std::function<void(const QString &what, int done, int steps)>;

struct Column {
    QString name;
    QString type; // SQLite declared type; the engine layer reads values back by it
};

struct Table {
    QString name;
    QList<Column> columns;
};

const QList<Table> &tables();
// CREATE TABLE and CREATE INDEX texts for a new file, or for an empty database on a server.
QStringList createStatements(Dialect dialect = Dialect::SQLite);
// Creates every table and index in an empty file, marked with the current version, in one
// transaction.
void create(Database &db);
// Brings a file of an older version to the current one in one transaction: the indexes it
// lacks, the text index with its triggers, the version. Throws DbError, everything rolled back,
// when the file cannot take them (its tables missing, locked, the disk full).
void upgrade(Database &db, const Progress &progress = {});
// What the file lacks: "table DT" or "column DT.Str7", one entry each; empty when whole.
QStringList missing(Database &db);

} // namespace Schema
} // namespace zumen
