#pragma once

#include <QString>

namespace zumen {

class Database;

// The file names a working folder holds.
namespace WorkingFolder {

inline const QString DatabaseFile = QStringLiteral("QV.MDB");
// In place of QV.MDB: the libpq connection string (or "service=name") of a shared archive on a
// PostgreSQL server. Lines starting with # and blank lines are ignored; the rest are joined. A
// password is refused: it belongs in the user's ~/.pgpass or service file, not in a shared folder.
inline const QString ServerFile = QStringLiteral("QV.SERVER");
inline const QString PlaceholderImage = QStringLiteral("ファイルが見つかりません.tif");
inline const QString ScanFolder = QStringLiteral("scan");
inline const QString FilesFolder = QStringLiteral("files");

// The page folder options are kept relative to the working folder (the one holding QV.MDB)
// when they are that folder or lie below it, so that a copied working folder uses its own
// pages; folders elsewhere stay absolute. A blank text means "not set" and passes unchanged.
// The text to store for a folder; a relative one is taken from the working folder.
QString storedFolder(const QString &folder, const QString &workingFolder);
// The absolute folder a stored text stands for.
QString absoluteFolder(const QString &stored, const QString &workingFolder);
// Where a page row's file lies: a "_SCAN" page in the scanner data folder, any other below the
// file data folder in its own folder. The viewer opens this path and exports list it.
QString pageFilePath(const QString &dir, const QString &file, const QString &scanFolder,
                     const QString &fileFolder);
// Whether the folder holds an archive: QV.MDB, or QV.SERVER naming one.
bool holdsArchive(const QString &folder);
// The connection string in a QV.SERVER file. Throws DbError 3051 for a file that cannot be
// read or holds nothing.
QString serverConnection(const QString &file);
// Opens the folder's archive: the server QV.SERVER names, or QV.MDB. A folder with both is
// refused (3051): which one the desks share would depend on the program that opened it.
Database openArchive(const QString &folder, int busyTimeoutMs = 5000);
} // namespace WorkingFolder

} // namespace zumen
