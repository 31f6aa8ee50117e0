#pragma once

#include <QString>
#include <QStringList>

namespace zumen {

class Database;

// The seven tables of the database file and what each must hold.
namespace Schema {

struct Column {
    QString name;
    QString type; // SQLite declared type; the engine layer reads values back by it
};

struct Table {
    QString name;
    QList<Column> columns;
};

const QList<Table> &tables();
// CREATE TABLE and CREATE INDEX texts for a new file.
QStringList createStatements();
// Creates every table and index in an empty file, in one transaction.
void create(Database &db);
// Adds the indexes a file made by an older version lacks, all in one transaction; true when
// it added any. Throws DbError when the file cannot take them (its tables missing, locked).
bool upgrade(Database &db);
// What the file lacks: "table DT" or "column DT.Str7", one entry each; empty when whole.
QStringList missing(Database &db);

} // namespace Schema
} // namespace zumen
