#include "db/folders.h"

#include "db/database.h"
#include "db/db_error.h"

#include <QDir>
#include <QFile>
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

bool holdsArchive(const QString &folder)
{
    const QDir dir(folder);
    return QFileInfo(dir.filePath(DatabaseFile)).isFile() || QFileInfo(dir.filePath(ServerFile)).isFile();
}

QString serverConnection(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(DbErr::CannotOpen, QStringLiteral("ファイル '%1' を読めません。(%2)")
                                             .arg(QDir::toNativeSeparators(file), f.errorString()));
    QStringList parts;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty() && !text.startsWith(u'#'))
            parts << text;
    }
    if (parts.isEmpty())
        throw DbError(DbErr::CannotOpen,
                      QStringLiteral("'%1' に接続文字列がありません。README の「共有アーカイブ」の書き方で、"
                                     "たとえば host=サーバー名 dbname=データベース名 と書いてください。")
                          .arg(QDir::toNativeSeparators(file)));
    return parts.join(u' ');
}

Database openArchive(const QString &folder, int busyTimeoutMs)
{
    const QDir dir(folder);
    const QString server = dir.filePath(ServerFile);
    if (!QFileInfo(server).isFile())
        return Database::open(dir.filePath(DatabaseFile), busyTimeoutMs);
    if (QFileInfo::exists(dir.filePath(DatabaseFile)))
        throw DbError(
            DbErr::CannotOpen,
            QStringLiteral("作業フォルダ '%1' に QV.MDB と QV.SERVER の両方があります。どちらの"
                           "データを使うか決められません。使わないほうを別のフォルダへ移してください。")
                .arg(QDir::toNativeSeparators(dir.absolutePath())));
    return Database::connect(serverConnection(server), ServerFile, busyTimeoutMs);
}

QString absoluteFolder(const QString &stored, const QString &workingFolder)
{
    const QString text = stored.trimmed();
    if (text.isEmpty())
        return stored;
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(text));
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

QString pageFilePath(const QString &dir, const QString &file, const QString &scanFolder,
                     const QString &fileFolder)
{
    return dir == QLatin1String("_SCAN") ? scanFolder + u'/' + file : fileFolder + u'/' + dir + u'/' + file;
}

} // namespace zumen::WorkingFolder
