#include "exchange/backup.h"

#include "db/database.h"
#include "db/folders.h"
#include "db/jet_sql.h"
#include "db/options_store.h"
#include "text/utility.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>

#include <optional>
#include <stdexcept>

namespace zumen::Backup {
namespace {

using WorkingFolder::DatabaseFile;

const char *const Tables[] = {"DT", "PG", "Hstry", "Desgn", "DesgnHS", "UserOP", "Pos"};

[[noreturn]] void fail(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        fail(QStringLiteral("ファイル '%1' を読めません。").arg(path));
    return hash.result().toHex();
}

// The path below the folder, or none when it leads out of it.
std::optional<QString> below(const QDir &folder, const QString &path)
{
    const QString relative = folder.relativeFilePath(QDir::cleanPath(path));
    if (relative.isEmpty() || relative == u'.' || relative == QLatin1String("..") ||
        relative.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(relative))
        return std::nullopt;
    return relative;
}

void copyInto(const QString &from, const QString &to)
{
    if (!QDir().mkpath(QFileInfo(to).path()) || !QFile::copy(from, to))
        fail(QStringLiteral("'%1' を '%2' に写せません。").arg(from, to));
}

// The file as the manifest lists it.
struct Entry {
    QString path; // relative to the backup
    qint64 size = 0;
    QByteArray sha256;
};

struct Manifest {
    QList<Entry> files;
    QStringList folders;
};

Manifest readManifest(const QDir &backup)
{
    QFile file(backup.filePath(ManifestFile));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        fail(QStringLiteral("'%1' がないか読めません。バックアップのフォルダを指定してください。")
                 .arg(file.fileName()));
    Manifest manifest;
    bool database = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &line : lines) {
        const QStringList fields = line.split(u'\t');
        bool ok = true;
        if (fields[0] == QLatin1String("file") && fields.size() == 4) {
            const Entry entry{fields[3], fields[2].toLongLong(&ok), fields[1].toLatin1()};
            // A path leading out of the backup is not ours to read or to write.
            if (!ok || !below(backup, backup.filePath(entry.path)))
                fail(QStringLiteral("'%1' の行が読めません: %2").arg(file.fileName(), line));
            database = database || entry.path == DatabaseFile;
            manifest.files.append(entry);
        } else if (fields[0] == QLatin1String("folder") && fields.size() == 2) {
            if (!below(backup, backup.filePath(fields[1])))
                fail(QStringLiteral("'%1' の行が読めません: %2").arg(file.fileName(), line));
            manifest.folders.append(fields[1]);
        }
    }
    if (!database)
        fail(QStringLiteral("'%1' に QV.MDB の行がありません。").arg(file.fileName()));
    return manifest;
}

void checkIntegrity(Database &db)
{
    Statement check = db.prepare(QStringLiteral("PRAGMA integrity_check(1)"));
    if (!check.step() || check.column(0).toString() != QLatin1String("ok"))
        fail(QStringLiteral("'%1' は壊れています (integrity_check)。").arg(db.path()));
}

// The page folders of the copy: where each lies in the source and in the copy. One inside the
// working folder keeps its place; one elsewhere moves to external/ and the copy says so.
struct PageFolders {
    QString scanFrom, fileFrom, scanTo, fileTo;
    QStringList notes; // manifest lines about moved folders
};

PageFolders pageFolders(OptionsStore &options, const QString &source, const QDir &copy)
{
    PageFolders folders;
    struct {
        int code;
        const char *external;
        QString *from, *to;
    } rows[] = {{OptionCode::ScanFolder, "external/scan", &folders.scanFrom, &folders.scanTo},
                {OptionCode::FileFolder, "external/files", &folders.fileFrom, &folders.fileTo}};
    for (const auto &row : rows) {
        const QString stored = options.read(row.code);
        if (stored.isEmpty())
            continue; // not set: its pages are found nowhere
        *row.from = WorkingFolder::absoluteFolder(stored, source);
        QString relative = WorkingFolder::storedFolder(stored, source);
        if (QDir::isAbsolutePath(relative)) {
            relative = QString::fromLatin1(row.external);
            options.write(row.code, relative);
            folders.notes << QStringLiteral("moved\t%1\t%2").arg(*row.from, relative);
        }
        *row.to = WorkingFolder::absoluteFolder(relative, copy.path());
        if (!QDir().mkpath(*row.to))
            fail(QStringLiteral("フォルダ '%1' を作れません。").arg(*row.to));
    }
    return folders;
}

// A shared archive's rows are the server's to back up, with its own tools.
void refuseServerFolder(const QDir &folder)
{
    if (folder.exists(WorkingFolder::ServerFile))
        fail(QStringLiteral("'%1' は共有アーカイブの作業フォルダです (QV.SERVER)。共有アーカイブはサーバーで "
                            "pg_dump を使ってバックアップし、pg_restore で戻してください。")
                 .arg(QDir::toNativeSeparators(folder.path())));
}

} // namespace

QString timestampedFolder(const QString &parent)
{
    return QDir(parent).filePath(QStringLiteral("Zumen-backup-") +
                                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

Result create(const QString &workingFolder, const QString &dest)
{
    const QDir source(QFileInfo(workingFolder).absoluteFilePath());
    refuseServerFolder(source);
    if (!source.exists(DatabaseFile))
        fail(QStringLiteral("'%1' は作業フォルダではありません (QV.MDB がありません)。").arg(source.path()));
    const QFileInfo destInfo(dest);
    const QString target = destInfo.absoluteFilePath();
    if (destInfo.exists() &&
        (!destInfo.isDir() ||
         !QDir(target).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)))
        fail(QStringLiteral(
                 "'%1' は空のフォルダではありません。バックアップは新しいフォルダか空のフォルダに作ります。")
                 .arg(target));
    const QString parent = QFileInfo(target).path();
    if (!QDir().mkpath(parent))
        fail(QStringLiteral("フォルダ '%1' を作れません。").arg(parent));
    QTemporaryDir temp(parent + QStringLiteral("/.") + QFileInfo(target).fileName() +
                       QStringLiteral(".partial-XXXXXX"));
    if (!temp.isValid())
        fail(QStringLiteral("'%1' に一時フォルダを作れません。").arg(parent));
    const QDir copy(temp.path());
    const QDateTime started = QDateTime::currentDateTime();

    {
        // One read transaction: the copy is the file as of one moment. A desk saving meanwhile
        // waits for it, within its lock timeout, and this waits for a save under way.
        Database db = Database::open(source.filePath(DatabaseFile));
        Statement vacuum = db.prepare(QStringLiteral("VACUUM INTO ?1"));
        vacuum.bind(1, copy.filePath(DatabaseFile));
        vacuum.run();
    }

    Result result;
    QStringList manifest{
        QStringLiteral("# Zumen backup. Columns are separated by tabs; file: SHA-256, bytes, path."),
        QStringLiteral("created\t") + started.toOffsetFromUtc(started.offsetFromUtc()).toString(Qt::ISODate),
        QStringLiteral("source\t") + source.path(),
        QStringLiteral("version\t") + QStringLiteral(ZUMEN_VERSION)};
    QStringList copied{DatabaseFile};
    {
        Database db = Database::open(copy.filePath(DatabaseFile));
        checkIntegrity(db);
        OptionsStore options(db);
        const PageFolders folders = pageFolders(options, source.path(), copy);
        manifest << folders.notes;
        for (const QString &folder : {folders.scanTo, folders.fileTo}) {
            if (const std::optional<QString> relative = below(copy, folder))
                manifest << QStringLiteral("folder\t") + *relative;
        }
        for (const char *table : Tables) {
            Statement known = db.prepare(
                QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?1"));
            known.bind(1, QString::fromLatin1(table));
            if (!known.step() || known.columnInteger(0) == 0)
                continue;
            Statement count = db.prepare(QStringLiteral("SELECT count(*) FROM ") +
                                         quoteIdentifier(QString::fromLatin1(table)));
            count.step();
            result.counts.append({QString::fromLatin1(table), count.columnInteger(0)});
            manifest << QStringLiteral("count\t%1\t%2")
                            .arg(QString::fromLatin1(table))
                            .arg(count.columnInteger(0));
        }

        // The pages the copy names, read from the copy: the files belong to that moment.
        QSet<QString> seen;
        auto take = [&](const QString &from, const QString &to) {
            const std::optional<QString> relative = below(copy, to);
            if (relative && seen.contains(*relative))
                return;
            if (!relative || !QFileInfo(from).isFile() || !QFileInfo(from).isReadable()) {
                result.missing << QDir::cleanPath(from);
                return;
            }
            seen.insert(*relative);
            copyInto(from, to);
            copied << *relative;
        };
        Statement pages = db.prepare(QStringLiteral("SELECT Dir, FileName FROM PG ORDER BY ID, Page"));
        while (pages.step()) {
            const QString dir = pages.column(0).toString().trimmed(),
                          file = pages.column(1).toString().trimmed();
            take(WorkingFolder::pageFilePath(dir, file, folders.scanFrom, folders.fileFrom),
                 WorkingFolder::pageFilePath(dir, file, folders.scanTo, folders.fileTo));
        }
        take(source.filePath(WorkingFolder::PlaceholderImage),
             copy.filePath(WorkingFolder::PlaceholderImage));
    }

    for (const QString &path : copied) {
        const QFileInfo info(copy.filePath(path));
        result.bytes += info.size();
        manifest << QStringLiteral("file\t%1\t%2\t%3")
                        .arg(QString::fromLatin1(sha256(info.filePath())))
                        .arg(info.size())
                        .arg(path);
    }
    for (const QString &path : std::as_const(result.missing))
        manifest << QStringLiteral("missing\t") + path;
    QSaveFile file(copy.filePath(ManifestFile));
    if (!file.open(QIODevice::WriteOnly) || file.write((manifest.join(u'\n') + u'\n').toUtf8()) < 0 ||
        !file.commit())
        fail(QStringLiteral("'%1' を書けません。").arg(file.fileName()));

    // The temporary folder is private to its maker; the backup is an ordinary folder.
    QFile::setPermissions(copy.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                           QFile::ExeOther);
    if (destInfo.exists())
        QDir().rmdir(target); // empty, checked above; a folder that fills meanwhile stays
    if (!RenameNoReplace(copy.path(), target))
        fail(QStringLiteral("'%1' を '%2' にできません。").arg(copy.path(), target));
    temp.setAutoRemove(false);
    result.folder = target;
    result.files = copied.size();
    return result;
}

int restore(const QString &backup, const QString &target)
{
    const QDir from(QFileInfo(backup).absoluteFilePath());
    const QDir into(QFileInfo(target).absoluteFilePath());
    refuseServerFolder(into);
    if (into.exists(DatabaseFile))
        fail(QStringLiteral("'%1' にはすでに QV.MDB があります。作業フォルダの上には戻しません: "
                            "新しいフォルダに戻すか、今の作業フォルダを別の名前に移してください。")
                 .arg(into.path()));
    const Manifest manifest = readManifest(from);

    QStringList bad;
    for (const Entry &entry : manifest.files) {
        const QFileInfo info(from.filePath(entry.path));
        if (!info.isFile() || info.size() != entry.size || sha256(info.filePath()) != entry.sha256)
            bad << entry.path;
    }
    if (!bad.isEmpty())
        fail(QStringLiteral("バックアップ '%1' は壊れています。MANIFEST.txt と合わないファイル: %2")
                 .arg(from.path(), bad.join(QStringLiteral(", "))));
    {
        Database db = Database::open(from.filePath(DatabaseFile));
        checkIntegrity(db);
    }
    for (const Entry &entry : manifest.files) {
        if (QFileInfo::exists(into.filePath(entry.path)))
            fail(QStringLiteral("'%1' にはすでに '%2' があります。上書きはしません。")
                     .arg(into.path(), entry.path));
    }

    // QV.MDB takes its name last: until then the folder is no working folder.
    QStringList written;
    try {
        for (const QString &folder : manifest.folders) {
            if (!into.mkpath(folder))
                fail(QStringLiteral("フォルダ '%1' を作れません。").arg(into.filePath(folder)));
        }
        for (const Entry &entry : manifest.files) {
            if (entry.path == DatabaseFile)
                continue;
            copyInto(from.filePath(entry.path), into.filePath(entry.path));
            written << into.filePath(entry.path);
        }
        const QString database = into.filePath(QStringLiteral(".QV.MDB.restoring"));
        QFile::remove(database); // left by an interrupted restore, never a working file
        copyInto(from.filePath(DatabaseFile), database);
        written << database;
        if (!RenameNoReplace(database, into.filePath(DatabaseFile)))
            fail(QStringLiteral("'%1' に QV.MDB を置けません。").arg(into.path()));
    } catch (...) {
        // Only what this restore wrote goes: the folder held none of it before.
        for (const QString &path : std::as_const(written))
            QFile::remove(path);
        throw;
    }
    return static_cast<int>(manifest.files.size());
}

} // namespace zumen::Backup
