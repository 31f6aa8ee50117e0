#include "tools/shared_archive.h"

#include "db/database.h"
#include "db/db_error.h"
#include "db/folders.h"
#include "db/jet_sql.h"
#include "db/options_store.h"
#include "text/utility.h"
#include "tools/working_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <algorithm>

namespace zumen::SharedArchive {
namespace {

// Parameters of one INSERT at most: libpq fails on a statement whose description is very large.
constexpr int MaxParameters = 7000;

const char *const CreateDatabaseLine =
    "CREATE DATABASE zumen TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C.UTF-8'";

[[noreturn]] void refuse(const QString &message)
{
    throw DbError(DbErr::CannotOpen, message);
}

QStringList texts(Database &db, const QString &sql)
{
    Statement s = db.prepare(sql);
    QStringList out;
    while (s.step())
        out << s.column(0).toString();
    return out;
}

qint64 rowCount(Database &db, const QString &table)
{
    Statement s = db.prepare(QStringLiteral("SELECT count(*) FROM ") + quoteIdentifier(table));
    return s.step() ? s.columnInteger(0) : 0;
}

QString count(qint64 n)
{
    return FormatNumber(Variant(static_cast<std::int64_t>(n)), QStringLiteral("#,##0"));
}

// An archive goes only into a database of its own, one that can hold Japanese text and search it
// by trigrams; anything already there is left alone.
void refuseUnsuitable(Database &server)
{
    const QString name = server.path();
    if (const int version = Schema::version(server); version > 0)
        refuse(QStringLiteral(
                   "データベース %1 にはすでにアーカイブがあります (形式 %2)。中身には手を付けません。"
                   "新しい空のデータベースを指定してください。")
                   .arg(name)
                   .arg(version));
    const QStringList tables =
        texts(server, QStringLiteral("SELECT table_name FROM information_schema.tables "
                                     "WHERE table_schema = current_schema() ORDER BY 1"));
    if (!tables.isEmpty())
        refuse(QStringLiteral("データベース %1 にはすでに表があります (%2)。中身には手を付けません。"
                              "アーカイブには新しい空のデータベースを指定してください。")
                   .arg(name, tables.join(QStringLiteral(", "))));
    Statement db = server.prepare(QStringLiteral("SELECT pg_encoding_to_char(encoding), datctype FROM "
                                                 "pg_database WHERE datname = current_database()"));
    const bool found = db.step();
    const QString encoding = found ? db.column(0).toString() : QString(),
                  ctype = found ? db.column(1).toString() : QString();
    if (encoding != QLatin1String("UTF8") || ctype == QLatin1String("C") || ctype == QLatin1String("POSIX"))
        refuse(QStringLiteral(
                   "データベース %1 は文字コード %2、LC_CTYPE %3 です。日本語の部分一致検索には UTF8 と "
                   "UTF-8 の LC_CTYPE が要ります。次のように作ったデータベースを指定してください:\n  %4")
                   .arg(name, encoding, ctype, QString::fromLatin1(CreateDatabaseLine)));
    Statement extensions = server.prepare(
        QStringLiteral("SELECT count(*) FROM pg_available_extensions WHERE name IN ('citext', 'pg_trgm')"));
    if (!extensions.step() || extensions.columnInteger(0) < 2)
        refuse(QStringLiteral(
            "サーバーに拡張 citext と pg_trgm がありません。PostgreSQL の contrib の拡張を入れてください "
            "(Debian では postgresql パッケージに入っています)。"));
}

// Copies the table's rows in rowid order, many rows to an INSERT. The server numbers its own
// rowid column in the same order.
void copyTable(Database &source, Database &server, const Schema::Table &table)
{
    QStringList names;
    for (const Schema::Column &c : table.columns)
        names << quoteIdentifier(c.name);
    const QString columns = names.join(u',');
    const qsizetype width = names.size();
    const qsizetype perBatch = std::max<qsizetype>(1, MaxParameters / width);
    const auto insertText = [&](qsizetype rows) {
        QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(quoteIdentifier(table.name), columns);
        int mark = 0;
        for (qsizetype r = 0; r < rows; ++r) {
            sql += r ? QStringLiteral(",(") : QStringLiteral("(");
            for (qsizetype c = 0; c < width; ++c)
                sql += (c ? QStringLiteral(",?") : QStringLiteral("?")) + QString::number(++mark);
            sql += u')';
        }
        return sql;
    };
    const QString full = insertText(perBatch);
    QList<Variant> batch;
    batch.reserve(perBatch * width);
    const auto flush = [&] {
        const qsizetype rows = batch.size() / width;
        Statement insert = server.prepare(rows == perBatch ? full : insertText(rows));
        insert.bindAll(batch);
        insert.run();
        batch.clear();
    };
    Statement read = source.prepare(
        QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columns, quoteIdentifier(table.name)));
    while (read.step()) {
        for (int c = 0; c < width; ++c)
            batch.append(read.column(c));
        if (batch.size() == perBatch * width)
            flush();
    }
    if (!batch.isEmpty())
        flush();
}

// Page files copied by a migration: removed again, with the folders made for them, unless the
// migration is committed.
class CopiedFiles {
public:
    ~CopiedFiles()
    {
        if (m_kept)
            return;
        for (const QString &file : std::as_const(m_files))
            QFile::remove(file);
        for (auto folder = m_folders.crbegin(); folder != m_folders.crend(); ++folder)
            QDir().rmdir(*folder);
    }

    void makeFolder(const QString &folder)
    {
        QStringList missing;
        for (QString f = QDir::cleanPath(folder); !QFileInfo::exists(f); f = QFileInfo(f).absolutePath())
            missing.prepend(f);
        for (const QString &f : std::as_const(missing)) {
            if (!QDir().mkdir(f))
                throw DbError(DbErr::DiskError, QStringLiteral("フォルダ '%1' を作れません。").arg(f));
            m_folders << f;
        }
    }

    void copy(const QString &from, const QString &to)
    {
        makeFolder(QFileInfo(to).absolutePath());
        QFile file(from);
        if (!file.copy(to))
            throw DbError(
                DbErr::DiskError,
                QStringLiteral("'%1' を '%2' へ写せません。(%3)").arg(from, to, file.errorString()));
        m_files << to;
    }

    void keep() { m_kept = true; }

private:
    QStringList m_files, m_folders;
    bool m_kept = false;
};

struct PageFolder {
    int code;
    const char *caption;
    const QString &name; // the folder's name under a --copy-pages folder
};

const PageFolder pageFolders[] = {{OptionCode::ScanFolder, "スキャナデータパス", WorkingFolder::ScanFolder},
                                  {OptionCode::FileFolder, "ファイルデータパス", WorkingFolder::FilesFolder}};

// A page folder's files and where a --copy-pages copy puts them.
struct PageCopy {
    int code;
    QString folder;
    QList<std::pair<QString, QString>> files;
};

// Lists both page folders' files and their places below `to`, refusing the copy when a file is
// in the way: nothing is written before the whole list is known.
QList<PageCopy> planPages(OptionsStore &sourceOptions, const QString &to, QStringList &warnings)
{
    QList<PageCopy> plan;
    QStringList inTheWay;
    for (const PageFolder &pages : pageFolders) {
        const std::optional<QString> from = sourceOptions.folder(pages.code);
        if (!from || from->trimmed().isEmpty())
            continue; // not set: nothing to copy, nothing to point anywhere
        PageCopy planned{pages.code, QDir(to).filePath(pages.name), {}};
        if (!QFileInfo(*from).isDir())
            warnings << QStringLiteral("%1 '%2' がありません。写すページファイルはありませんでした。")
                            .arg(QString::fromUtf8(pages.caption), *from);
        QDirIterator files(*from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            const QString target = QDir(planned.folder).filePath(QDir(*from).relativeFilePath(file));
            if (QFileInfo::exists(target))
                inTheWay << target;
            planned.files.append({file, target});
        }
        plan.append(planned);
    }
    if (!inTheWay.isEmpty())
        refuse(QStringLiteral(
                   "写し先にすでにファイルがあります。上書きはしないので、何も書き込みませんでした: %1%2")
                   .arg(inTheWay.first(), inTheWay.size() > 1
                                              ? QStringLiteral(" ほか %1 個").arg(count(inTheWay.size() - 1))
                                              : QString()));
    return plan;
}

// A page folder stored relative lies in the working folder, which only this workstation sees.
QStringList relativeFolderWarnings(OptionsStore &sourceOptions, const QString &workingFolder)
{
    QStringList warnings;
    for (const PageFolder &pages : pageFolders) {
        const QString stored = sourceOptions.read(pages.code);
        if (!stored.isEmpty() && QDir::isRelativePath(stored))
            warnings << QStringLiteral(
                            "%1 '%2' は作業フォルダ '%3' の中にあり、ほかの端末からは見えません。"
                            "共有フォルダへ移してオプションで指定し直すか、--copy-pages で写してください。")
                            .arg(QString::fromUtf8(pages.caption), stored, workingFolder);
    }
    return warnings;
}

// Quotes a value for a libpq connection string when it needs it.
QString conninfoValue(const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[^\\s'\\\\]+$"));
    if (plain.match(value).hasMatch())
        return value;
    QString quoted = value;
    quoted.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
    return u'\'' + quoted + u'\'';
}

} // namespace

void initServer(Database &server)
{
    refuseUnsuitable(server);
    Transaction t(server);
    Schema::create(server);
    WorkingFolder::writeStartingLayouts(server);
    t.commit();
}

QStringList roles(Database &server)
{
    if (Schema::version(server) == 0)
        refuse(QStringLiteral("データベース %1 にはまだアーカイブがありません。先に zumen-db init-server か "
                              "migrate を実行してください。")
                   .arg(server.path()));
    // GRANT by a role that does not own the tables only warns: refused here instead.
    Statement owner =
        server.prepare(QStringLiteral("SELECT tableowner, pg_has_role(tableowner, 'MEMBER') FROM "
                                      "pg_tables WHERE schemaname = current_schema() AND "
                                      "tablename = 'dt'"));
    if (!owner.step() || owner.columnInteger(1) != 1)
        throw DbError(DbErr::NoPermission,
                      QStringLiteral("この操作を行う権限がありません。アーカイブの表の持ち主 "
                                     "(%1) かスーパーユーザーとして実行してください。")
                          .arg(owner.column(0).toString()));
    const QString tableOwner = quoteIdentifier(owner.column(0).toString());
    const QString schema = quoteIdentifier(texts(server, QStringLiteral("SELECT current_schema()")).value(0));
    Transaction t(server);
    for (const QString &role : {ReadRole, FileRole}) {
        Statement known = server.prepare(QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = ?1"));
        known.bind(1, role);
        if (known.step() && known.columnInteger(0) == 0)
            server.executeNative(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(role));
    }
    const QString both = ReadRole + QStringLiteral(", ") + FileRole;
    server.executeNative(QStringLiteral("GRANT USAGE ON SCHEMA %1 TO %2").arg(schema, both));
    // Tables the owner makes later (a new version's) are granted as they are made.
    for (const QString &prefix : {QStringLiteral("GRANT %1 ON ALL %2 IN SCHEMA %3 TO %4"),
                                  QStringLiteral("ALTER DEFAULT PRIVILEGES FOR ROLE ") + tableOwner +
                                      QStringLiteral(" IN SCHEMA %3 GRANT %1 ON %2 TO %4")}) {
        server.executeNative(
            prefix.arg(QStringLiteral("SELECT"), QStringLiteral("TABLES"), schema, ReadRole));
        server.executeNative(prefix.arg(QStringLiteral("SELECT, INSERT, UPDATE, DELETE"),
                                        QStringLiteral("TABLES"), schema, FileRole));
        // The rowid sequences too, for anything that reads or advances them by name.
        server.executeNative(
            prefix.arg(QStringLiteral("USAGE, SELECT"), QStringLiteral("SEQUENCES"), schema, FileRole));
    }
    t.commit();
    return {
        QStringLiteral(
            "-- 登録と変更ができる人 (psql で。\\password はパスワードを二度尋ね、ハッシュにして送ります):"),
        QStringLiteral("CREATE ROLE tanaka LOGIN IN ROLE %1;").arg(FileRole),
        QStringLiteral("\\password tanaka"),
        QStringLiteral("-- 読むだけの人:"),
        QStringLiteral("CREATE ROLE suzuki LOGIN IN ROLE %1;").arg(ReadRole),
        QStringLiteral("\\password suzuki"),
        QStringLiteral("-- すでにあるログインの役割には:"),
        QStringLiteral("GRANT %1 TO sato;").arg(FileRole)};
}

Migrated migrate(const QString &folder, Database &server, const QString &copyPagesTo,
                 const Schema::Progress &progress)
{
    const QDir dir(QDir(folder).absolutePath());
    const QString path = dir.filePath(WorkingFolder::DatabaseFile);
    if (!QFileInfo(path).isFile())
        throw DbError(
            DbErr::FileNotFound,
            QStringLiteral("'%1' は作業フォルダではありません (QV.MDB がありません)。").arg(dir.path()));
    Schema::refuseNewer(path, Schema::headerVersion(path));
    Database source = Database::open(path);
    if (const QStringList lacking = Schema::missing(source); !lacking.isEmpty())
        refuse(QStringLiteral("'%1' に足りない表か列があります (%2)。zumen-db check で確かめてください。")
                   .arg(path, lacking.join(QStringLiteral(", "))));
    refuseUnsuitable(server);

    const QList<Schema::Table> &tables = Schema::tables();
    // The file as of one moment: desks wait to save until the copy is done.
    Transaction reading(source);
    OptionsStore sourceOptions(source);
    Migrated result;
    QList<PageCopy> pages;
    if (copyPagesTo.isEmpty())
        result.warnings = relativeFolderWarnings(sourceOptions, dir.path());
    else
        pages = planPages(sourceOptions, QDir(copyPagesTo).absolutePath(), result.warnings);
    const int steps = static_cast<int>(tables.size()) + (pages.isEmpty() ? 2 : 3);
    int done = 0;
    const auto step = [&](const QString &what) {
        if (progress)
            progress(what, done, steps);
        ++done;
    };

    Transaction writing(server);
    CopiedFiles copied;
    // Schema::create's statements, the indexes held back: built once over the copied rows
    // rather than row by row, they take a quarter off a large copy's time.
    const QStringList statements = Schema::createStatements(Dialect::PostgreSQL);
    static const QRegularExpression index(QStringLiteral("^CREATE (UNIQUE )?INDEX "));
    const auto run = [&](bool indexes) {
        for (const QString &sql : statements) {
            if (index.match(sql).hasMatch() == indexes)
                server.executeNative(sql);
        }
    };
    run(false);
    for (const Schema::Table &table : tables) {
        const qint64 rows = rowCount(source, table.name);
        step(QStringLiteral("表 %1 (%2 行) を写しています").arg(table.name, count(rows)));
        try {
            copyTable(source, server, table);
        } catch (const DbError &e) {
            throw DbError(e.number(),
                          QStringLiteral("表 %1 を写せませんでした。サーバーには何も書き込んでいません。")
                                  .arg(table.name) +
                              u'\n' + e.description());
        }
        result.counts.append({table.name, rows});
    }
    step(QStringLiteral("索引を作っています"));
    run(true);
    if (!pages.isEmpty())
        step(QStringLiteral("ページファイルを写しています"));
    OptionsStore serverOptions(server);
    for (const PageCopy &copy : std::as_const(pages)) {
        copied.makeFolder(copy.folder);
        for (const auto &[from, target] : copy.files)
            copied.copy(from, target);
        serverOptions.write(copy.code, copy.folder);
    }
    step(QStringLiteral("行数を確かめています"));
    // Options only ever change rows the file has, so every table must count the same.
    for (const auto &[table, rows] : std::as_const(result.counts)) {
        const qint64 there = rowCount(server, table);
        if (there != rows)
            throw DbError(DbErr::Reserved,
                          QStringLiteral("表 %1 の行数が合いません (QV.MDB %2 行、サーバー %3 行)。"
                                         "サーバーには何も書き込んでいません。")
                              .arg(table, count(rows), count(there)));
    }
    writing.commit();
    copied.keep();
    return result;
}

ServerLine serverLine(const QString &conninfo, Database &server)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        const QString why = QString::fromUtf8(error ? error : "").trimmed();
        PQfreemem(error);
        throw DbError(DbErr::CannotOpen, QStringLiteral("接続文字列を読めません。(%1)").arg(why));
    }
    QStringList parts;
    bool named = false, service = false;
    QString host;
    for (const PQconninfoOption *o = options; o->keyword; ++o) {
        const QString key = QString::fromUtf8(o->keyword);
        if (!o->val || !*o->val || key == QLatin1String("user") || key == QLatin1String("password"))
            continue;
        const QString value = QString::fromUtf8(o->val);
        named = named || key == QLatin1String("dbname");
        service = service || key == QLatin1String("service");
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr"))
            host = value;
        parts << key + u'=' + conninfoValue(value);
    }
    PQconninfoFree(options);
    // Left to the default, the database would be each person's own name.
    if (!named && !service)
        parts << QStringLiteral("dbname=") +
                     conninfoValue(texts(server, QStringLiteral("SELECT current_database()")).value(0));
    ServerLine line{parts.join(u' '), {}};
    const bool local = host.isEmpty() || host.startsWith(u'/') || host == QLatin1String("localhost") ||
                       host == QLatin1String("127.0.0.1") || host == QLatin1String("::1");
    if (local && !service)
        line.note =
            QStringLiteral("この接続はこの計算機の中だけで通じます。各端末では host= にサーバーの名前か"
                           "アドレスを書いてください。");
    return line;
}

} // namespace zumen::SharedArchive
