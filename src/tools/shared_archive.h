#pragma once

#include "db/schema.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace zumen {

class Database;

// Setting up a shared archive on a PostgreSQL server: its tables, its two roles, and a working
// folder's QV.MDB copied into it. Everything throws DbError with a Japanese message.
namespace SharedArchive {

inline const QString ReadRole = QStringLiteral("zumen_read");
inline const QString FileRole = QStringLiteral("zumen_file");

// Gives an empty server database the archive's tables and the starting layouts, in one
// transaction. Refuses a database that holds an archive or any other table, or whose encoding
// or character classes cannot hold Japanese text and its trigram search.
void initServer(Database &server);

// Makes the reading and the filing group role when missing and grants them the archive's
// tables, now and later. Running it again changes nothing. Returns the lines a DBA runs to
// give a person a login role in one of them.
QStringList roles(Database &server);

struct Migrated {
    QList<std::pair<QString, qint64>> counts; // rows of each table, in Schema::tables() order
    QStringList warnings;
};

// Copies the working folder's QV.MDB, every table in rowid order, into an empty server
// database (refused as initServer refuses), in one server transaction, and compares the row
// counts of both sides before committing. With copyPagesTo, the scan and file folders' contents
// are copied into its scan/ and files/ (refused when a file is there already) and the server
// copy's folder options point there; without, the options stay as they are and a page folder
// inside the working folder is warned about: other workstations cannot see it. On any failure
// the server database is left empty and no copied page file is left behind.
Migrated migrate(const QString &folder, Database &server, const QString &copyPagesTo = {},
                 const Schema::Progress &progress = {});

// The line for each workstation's QV.SERVER: the connection string without user and password
// (each person connects as themselves, the password kept in their own ~/.pgpass), naming the
// database the server connected to. note says when the host cannot be reached from elsewhere.
struct ServerLine {
    QString text;
    QString note;
};
ServerLine serverLine(const QString &conninfo, Database &server);

} // namespace SharedArchive
} // namespace zumen
