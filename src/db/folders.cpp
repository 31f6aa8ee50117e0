#include "db/folders.h"

#include <QDir>
#include <QFileInfo>

namespace zumen::WorkingFolder {
namespace {

// The path with links and ".." resolved as far as it exists; the rest stays as written.
QString resolvedPath(const QString &absolute)
{
    QString head = QDir::cleanPath(absolute), tail;
    while (!QFileInfo::exists(head)) {
        const qsizetype cut = head.lastIndexOf(u'/');
        if (cut < 0)
            return QDir::cleanPath(absolute);
        tail.prepend(head.mid(cut + 1) + u'/');
        head.truncate(cut == 0 ? 1 : cut);
    }
    return QDir::cleanPath(QDir(QFileInfo(head).canonicalFilePath()).filePath(tail));
}

} // namespace

QString absoluteFolder(const QString &stored, const QString &workingFolder)
{
    const QString text = stored.trimmed();
    if (text.isEmpty())
        return stored;
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(text));
}

QString pageFilePath(const QString &dir, const QString &file, const QString &scanFolder,
                     const QString &fileFolder)
{
    return dir == QLatin1String("_SCAN") ? scanFolder + u'/' + file : fileFolder + u'/' + dir + u'/' + file;
}

QString storedFolder(const QString &folder, const QString &workingFolder)
{
    const QString text = folder.trimmed();
    if (text.isEmpty())
        return folder;
    const QString absolute = absoluteFolder(text, workingFolder);
    // Compared by path components, not as text: /data/img2 does not lie inside /data/img.
    const QString relative =
        QDir(resolvedPath(QDir(workingFolder).absolutePath())).relativeFilePath(resolvedPath(absolute));
    if (relative.isEmpty() || relative == u'.')
        return QStringLiteral(".");
    const bool inside = relative != QLatin1String("..") && !relative.startsWith(QLatin1String("../")) &&
                        QDir::isRelativePath(relative);
    if (inside)
        return relative;
    // A folder typed absolute is kept as typed; a relative one leading out is made absolute.
    return QDir::isAbsolutePath(text) ? text : absolute;
}

} // namespace zumen::WorkingFolder
