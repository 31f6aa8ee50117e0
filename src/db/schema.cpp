#include "db/schema.h"

#include "db/database.h"
#include "db/jet_sql.h"
#include "db/text_index.h"

#include <QSet>

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

QStringList createStatements()
{
    QStringList sql;
    for (const Table &t : tables()) {
        QStringList cols;
        for (const Column &c : t.columns)
            cols << quoteIdentifier(c.name) + u' ' + c.type;
        sql << QStringLiteral("CREATE TABLE %1 (%2)")
                   .arg(quoteIdentifier(t.name), cols.join(QStringLiteral(", ")));
    }
    sql << QStringLiteral("CREATE UNIQUE INDEX PG_Key ON PG (ID, Page)")
        << QStringLiteral("CREATE UNIQUE INDEX Hstry_Key ON Hstry (ID, Page)")
        // Drawing number and product name are looked up by requests and by prefix searches.
        << QStringLiteral("CREATE INDEX DT_Str1 ON DT (Str1)")
        << QStringLiteral("CREATE INDEX DT_Str2 ON DT (Str2)")
        << QStringLiteral("CREATE INDEX Pos_ID ON Pos (ID)")
        << QStringLiteral("CREATE INDEX UserOP_Code ON UserOP (Code)");
    return sql;
}

void create(Database &db)
{
    Transaction t(db);
    for (const QString &sql : createStatements())
        db.executeNative(sql);
    TextIndex::create(db);
    t.commit();
}

QStringList missing(Database &db)
{
    QStringList result;
    for (const Table &t : tables()) {
        Statement info = db.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
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
