#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace zumen {

// A consistent copy of a working folder, taken while desks keep working in it, and the way back.
//
// The copy is itself a working folder: QV.MDB as of one moment, the page files its PG rows
// name (with their layout below the working folder), the placeholder image and MANIFEST.txt.
// A page folder inside the working folder keeps its relative option; one elsewhere (a shared
// drive) is copied to external/scan or external/files and the copy's option points there, so
// the copy never reaches back into the source. Scans still waiting in the scan folder are not
// part of any record and are not copied.
namespace Backup {

inline const QString ManifestFile = QStringLiteral("MANIFEST.txt");

struct Result {
    QString folder;                           // the backup, absolute
    QList<std::pair<QString, qint64>> counts; // rows per table of the copy
    int files = 0;                            // files copied, QV.MDB included
    qint64 bytes = 0;
    QStringList missing; // page files the copy names that could not be read, as the source names them
};

// Copies the working folder into dest, which must be missing or empty (made with its parents).
// Everything is written into a temporary folder beside dest that takes dest's name only at the
// end, so an interrupted backup never looks complete. Missing page files are listed in the
// manifest and in the result; the backup completes without them. Throws DbError or
// std::runtime_error with a Japanese message; nothing is left behind then.
Result create(const QString &workingFolder, const QString &dest);

// Checks a backup (every file against the manifest, the database's structure) and copies it
// into target, made when missing, which must not hold a QV.MDB or any file the backup holds.
// QV.MDB takes its name last. Returns the number of files copied; throws as create does and
// writes nothing when the check fails.
int restore(const QString &backup, const QString &target);

// The folder create makes inside a chosen one: Zumen-backup-YYYYMMDD-HHMMSS.
QString timestampedFolder(const QString &parent);

} // namespace Backup

} // namespace zumen
