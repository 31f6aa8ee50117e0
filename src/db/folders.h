#pragma once

#include <QString>

namespace zumen {

// The file names a working folder holds.
namespace WorkingFolder {

inline const QString DatabaseFile = QStringLiteral("QV.MDB");
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
// Where a page row's file lies: Dir "_SCAN" is the scan folder, any other Dir a folder below
// the file folder ("" for the file folder itself). Dir and file name come trimmed.
QString pageFilePath(const QString &dir, const QString &file, const QString &scanFolder,
                     const QString &fileFolder);
} // namespace WorkingFolder

} // namespace zumen
