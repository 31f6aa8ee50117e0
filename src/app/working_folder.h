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
// they are missing. Refuses a folder that already holds QV.MDB. Throws DbError, or
// std::runtime_error for file system faults, with a Japanese message.
void init(const QString &folder);
// init plus sample records with page images and history entries.
void demo(const QString &folder);
// What the database in the folder lacks; empty when it holds everything.
QStringList check(const QString &folder);
} // namespace WorkingFolder

} // namespace zumen
