#include "db/schema.h"

#include "db/database.h"
#include "db/db_error.h"
#include "db/jet_sql.h"
#include "db/text_index.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

namespace zumen::Schema {
namespace {

// Item columns: numbers, texts, dates and memos 1 to 10. Texts compare without letter
// case, as the original engine's did, which the NOCASE collation gives every comparison.
QList<Column> itemColumns()
{
    QList<Column> columns;
    const struct {
        const char *prefix;
        const char *type;
    } families[] = {{"Val", "DOUBLE"},
                    {"Str", "TEXT COLLATE NOCASE"},
                    {"Date", "DATETIME"},
                    {"Text", "LONGTEXT COLLATE NOCASE"}};
    for (const auto &family : families) {
        for (int i = 1; i <= 10; ++i)
            columns.append(
                {QString::fromLatin1(family.prefix) + QString::number(i), QString::fromLatin1(family.type)});
    }
    return columns;
}

QList<Table> buildTables()
{
    const QList<Column> layout = {{QStringLiteral("ID"), QStringLiteral("SMALLINT")},
                                  {QStringLiteral("Koumoku"), QStringLiteral("TEXT")},
                                  {QStringLiteral("Eda"), QStringLiteral("SMALLINT")},
                                  {QStringLiteral("Label"), QStringLiteral("TEXT")},
                                  {QStringLiteral("fmat"), QStringLiteral("TEXT")}};
    // DT's ID is its rowid: the record card's steps by ID then need no index of their own.
    Table dt{QStringLiteral("DT"),
             {{QStringLiteral("ID"), QStringLiteral("INTEGER PRIMARY KEY")},
              {QStringLiteral("Namae"), QStringLiteral("TEXT COLLATE NOCASE")}}};
    dt.columns += itemColumns();
    Table hstry{QStringLiteral("Hstry"),
                {{QStringLiteral("ID"), QStringLiteral("INTEGER NOT NULL")},
                 {QStringLiteral("Page"), QStringLiteral("SMALLINT NOT NULL")},
                 {QStringLiteral("Namae"), QStringLiteral("TEXT COLLATE NOCASE")}}};
    hstry.columns += itemColumns();
    return {
        dt,
        {QStringLiteral("PG"),
         {{QStringLiteral("ID"), QStringLiteral("INTEGER NOT NULL")},
          {QStringLiteral("Page"), QStringLiteral("SMALLINT NOT NULL")},
          {QStringLiteral("Dir"), QStringLiteral("TEXT COLLATE NOCASE")},
          {QStringLiteral("FileName"), QStringLiteral("TEXT COLLATE NOCASE")}}},
        hstry,
        {QStringLiteral("Desgn"), layout},
        {QStringLiteral("DesgnHS"), layout},
        {QStringLiteral("Pos"),
         {{QStringLiteral("ID"), QStringLiteral("INTEGER")},
          {QStringLiteral("Left"), QStringLiteral("REAL")},
          {QStringLiteral("Top"), QStringLiteral("REAL")},
          {QStringLiteral("Height"), QStringLiteral("REAL")},
          {QStringLiteral("Width"), QStringLiteral("REAL")}}},
        {QStringLiteral("UserOP"),
         {{QStringLiteral("Code"), QStringLiteral("SMALLINT")},
          {QStringLiteral("Contents"), QStringLiteral("TEXT")}}},
    };
}

} // namespace

const QList<Table> &tables()
{
    static const QList<Table> all = buildTables();
    return all;
}

namespace {

struct Index {
    QString name;
    QString sql;
};

QList<Index> buildIndexes()
{
    QList<Index> indexes = {
        {QStringLiteral("PG_Key"), QStringLiteral("CREATE UNIQUE INDEX PG_Key ON PG (ID, Page)")},
        {QStringLiteral("Hstry_Key"), QStringLiteral("CREATE UNIQUE INDEX Hstry_Key ON Hstry (ID, Page)")},
        // Drawing number and product name are looked up by requests and by prefix searches.
        {QStringLiteral("DT_Str1"), QStringLiteral("CREATE INDEX DT_Str1 ON DT (Str1)")},
        {QStringLiteral("DT_Str2"), QStringLiteral("CREATE INDEX DT_Str2 ON DT (Str2)")},
        {QStringLiteral("Pos_ID"), QStringLiteral("CREATE INDEX Pos_ID ON Pos (ID)")},
        {QStringLiteral("UserOP_Code"), QStringLiteral("CREATE INDEX UserOP_Code ON UserOP (Code)")},
    };
    // A search compares any item of the layout: numbers and dates by range, texts by value. Rows
    // hold Null in the items their layout does not use, which these indexes leave out, so an
    // unused item costs neither space nor time on writes.
    for (const char *family : {"Val", "Date", "Str"}) {
        for (int i = family[0] == 'S' ? 3 : 1; i <= 10; ++i) {
            const QString column = QString::fromLatin1(family) + QString::number(i);
            indexes.append(
                {QStringLiteral("DT_") + column,
                 QStringLiteral("CREATE INDEX DT_%1 ON DT (%1) WHERE %1 IS NOT NULL").arg(column)});
        }
    }
    return indexes;
}

const QList<Index> &indexes()
{
    static const QList<Index> all = buildIndexes();
    return all;
}

} // namespace

// A column type as the server spells it. Texts compared without case are citext: every
// comparison, LIKE, IN and ORDER BY on them ignores case as NOCASE does on the file, with no
// rewriting of the user's conditions.
QString serverType(const QString &fileType)
{
    const QString t = fileType.toUpper();
    if (t.contains(QLatin1String("NOCASE")))
        return QStringLiteral("citext");
    if (t.startsWith(QLatin1String("INTEGER PRIMARY KEY")))
        return QStringLiteral("integer PRIMARY KEY");
    if (t.contains(QLatin1String("DATETIME")))
        return QStringLiteral("timestamp");
    if (t.startsWith(QLatin1String("DOUBLE")) || t.startsWith(QLatin1String("REAL")))
        return QStringLiteral("double precision");
    QString type = fileType;
    return type.replace(QLatin1String("LONGTEXT"), QLatin1String("text"));
}

// What a server's archive needs besides the tables: case-blind text, the folding PartialMatch
// searches by (fold_text's: ASCII letters lowered, NFKC, lowered again; the "C" collation keeps
// lower() to ASCII), and trigram indexes over it for the text items. The fixed search_path keeps
// the function from being inlined, so that the indexes on it are used.
QStringList serverPreamble()
{
    return {QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext"),
            QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"),
            QStringLiteral("CREATE FUNCTION zumen_fold(text) RETURNS text LANGUAGE sql IMMUTABLE STRICT "
                           "PARALLEL SAFE SET search_path = pg_catalog AS $$ SELECT lower(normalize(lower($1 "
                           "COLLATE \"C\"), NFKC) COLLATE \"C\") $$"),
            QStringLiteral("CREATE TABLE zumen_meta (version integer NOT NULL)")};
}

QStringList createStatements(Dialect dialect)
{
    const bool server = dialect == Dialect::PostgreSQL;
    QStringList sql = server ? serverPreamble() : QStringList();
    for (const Table &t : tables()) {
        QStringList cols;
        for (const Column &c : t.columns)
            cols << quoteIdentifier(c.name) + u' ' + (server ? serverType(c.type) : c.type);
        // The file's rowid, kept by the server in a column of its own: rows come in the order
        // they were written where no order is asked for. DT's key is its ID.
        if (server && t.name != QLatin1String("DT"))
            cols << QStringLiteral("rowid bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
        sql << QStringLiteral("CREATE TABLE %1 (%2)")
                   .arg(quoteIdentifier(t.name), cols.join(QStringLiteral(", ")));
    }
    for (const Index &index : indexes())
        sql << index.sql;
    if (server) {
        // A LIKE with a fixed beginning reads lower(column) on the server (jet_sql.cpp): the
        // text items the file indexes get an index on that, Null left out as there.
        for (int i = 1; i <= 10; ++i)
            sql << QStringLiteral(
                       "CREATE INDEX DT_Lower_Str%1 ON DT (lower(Str%1::text)) WHERE Str%1 IS NOT NULL")
                       .arg(i);
        for (const char *family : {"Str", "Text"}) {
            for (int i = 1; i <= 10; ++i)
                sql << QStringLiteral(
                           "CREATE INDEX DT_Fold_%1%2 ON DT USING gin (zumen_fold(%1%2) gin_trgm_ops)")
                           .arg(QString::fromLatin1(family))
                           .arg(i);
        }
        sql << QStringLiteral("INSERT INTO zumen_meta (version) VALUES (%1)").arg(CurrentVersion);
    }
    return sql;
}

void create(Database &db)
{
    Transaction t(db);
    for (const QString &sql : createStatements(db.dialect()))
        db.executeNative(sql);
    if (db.dialect() == Dialect::SQLite) {
        TextIndex::create(db);
        db.executeNative(QStringLiteral("PRAGMA user_version = %1").arg(CurrentVersion));
    }
    t.commit();
}

int version(Database &db)
{
    if (db.dialect() == Dialect::PostgreSQL) {
        // An empty database (no zumen_meta) is version 0, as an empty file is.
        Statement known = db.prepare(QStringLiteral("SELECT to_regclass('zumen_meta') IS NOT NULL"));
        const bool present = known.step() && known.columnInteger(0) == 1;
        known.run();
        if (!present)
            return 0;
        Statement v = db.prepare(QStringLiteral("SELECT max(version) FROM zumen_meta"));
        const int found = v.step() ? static_cast<int>(v.columnInteger(0)) : 0;
        v.run();
        return found;
    }
    Statement s = db.prepare(QStringLiteral("PRAGMA user_version"));
    const int v = s.step() ? static_cast<int>(s.columnInteger(0)) : 0;
    s.run();
    return v;
}

int headerVersion(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    // The header's user_version: four bytes, most significant first, at offset 60.
    const QByteArray header = f.read(64);
    if (header.size() < 64 || !header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return -1;
    return qFromBigEndian<qint32>(header.constData() + 60);
}

void refuseNewer(const QString &path, int version)
{
    if (version <= CurrentVersion)
        return;
    throw DbError(
        NewerFileError,
        QStringLiteral("%1 はこのプログラムより新しい版で作られています (形式 %2、このプログラムは %3 "
                       "まで)。新しい版の Zumen で開いてください。")
            .arg(QFileInfo(path).fileName())
            .arg(version)
            .arg(CurrentVersion));
}

void upgrade(Database &db, const Progress &progress)
{
    // The list of the file's indexes is small: this look costs the same at any number of records.
    Statement present = db.prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type='index'"));
    QSet<QString> names;
    while (present.step())
        names.insert(present.column(0).toString().toLower());
    QList<Index> absent;
    for (const Index &index : indexes()) {
        if (!names.contains(index.name.toLower()))
            absent.append(index);
    }
    // The text index is a step of its own even when present: an older one may lack a part.
    const int steps = static_cast<int>(absent.size()) + 2;
    int done = 0;
    const auto step = [&](const QString &what) {
        if (progress)
            progress(what, done, steps);
        ++done;
    };
    Transaction t(db);
    for (const Index &index : absent) {
        step(QStringLiteral("検索用の索引を作っています (%1/%2)").arg(done + 1).arg(absent.size()));
        db.executeNative(index.sql);
    }
    step(QStringLiteral("部分一致の検索用の索引を作っています"));
    TextIndex::create(db);
    step(QStringLiteral("書き込んでいます"));
    db.executeNative(QStringLiteral("PRAGMA user_version = %1").arg(CurrentVersion));
    t.commit();
}

QStringList missing(Database &db)
{
    QStringList result;
    for (const Table &t : tables()) {
        Statement info =
            db.prepare(db.dialect() == Dialect::PostgreSQL
                           ? QStringLiteral("SELECT column_name FROM information_schema.columns "
                                            "WHERE table_schema = current_schema() AND table_name = "
                                            "lower(?1)")
                           : QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
        info.bind(1, Variant(t.name));
        QSet<QString> present;
        while (info.step())
            present.insert(info.column(0).toString().toLower());
        if (present.isEmpty()) {
            result << QStringLiteral("table ") + t.name;
            continue;
        }
        for (const Column &c : t.columns) {
            if (!present.contains(c.name.toLower()))
                result << QStringLiteral("column %1.%2").arg(t.name, c.name);
        }
    }
    return result;
}

} // namespace zumen::Schema
