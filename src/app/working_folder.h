#pragma once

#include <QString>

namespace zumen {

class Database;

// The file names a working folder holds.
namespace WorkingFolder {
inline const QString DatabaseFile = QStringLiteral("QV.MDB");
inline const QString PlaceholderImage = QStringLiteral("ファイルが見つかりません.tif");
inline const QString ScanFolder = QStringLiteral("scan");
inline const QString FilesFolder = QStringLiteral("files");

// Creates QV.MDB with every table, starting layouts and the two folder options, the
// scan/ and files/ folders and the placeholder image, making the folder and its parents when
// they are missing. Refuses a folder that already holds a QV.MDB with anything in it. The
// database is complete before it takes its name. Throws DbError, or
// std::runtime_error for file system faults, with a Japanese message.
void init(const QString &folder);
// init plus sample records with page images and history entries.
void demo(const QString &folder);
// What the database in the folder lacks; empty when it holds everything.
QStringList check(const QString &folder);

// The page folder options are kept relative to the working folder (the one holding QV.MDB)
// when they are that folder or lie below it, so that a copied working folder uses its own
// pages; folders elsewhere stay absolute. A blank text means "not set" and passes unchanged.
// The text to store for a folder; a relative one is taken from the working folder.
QString storedFolder(const QString &folder, const QString &workingFolder);
// The absolute folder a stored text stands for.
QString absoluteFolder(const QString &stored, const QString &workingFolder);
} // namespace WorkingFolder

} // namespace zumen
