#include "db/text_index.h"

#include "db/database.h"
#include "db/db_error.h"
#include "db/jet_sql.h"

#include <QSet>

#include <algorithm>

#include <sqlite3.h>

namespace zumen::TextIndex {
namespace {

const QStringList &columnNames()
{
    static const QStringList names = [] {
        QStringList n;
        for (const char *prefix : {"Str", "Text"}) {
            for (int i = 1; i <= 10; ++i)
                n << QString::fromLatin1(prefix) + QString::number(i);
        }
        return n;
    }();
    return names;
}

// "Str1", "Str2" … or, folded, fold_text("Str1"), …
QString columnList(bool folded = false)
{
    QStringList out;
    for (const QString &c : columnNames())
        out << (folded ? QStringLiteral("fold_text(%1)") : QStringLiteral("%1")).arg(quoteIdentifier(c));
    return out.join(QStringLiteral(", "));
}

QString table()
{
    return quoteIdentifier(QString::fromLatin1(Table));
}

void foldFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const int bytes = sqlite3_value_bytes(argv[0]);
    const QByteArray folded = foldText(QString::fromUtf8(text ? text : "", bytes)).toUtf8();
    sqlite3_result_text(ctx, folded.constData(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

void registerFold(Database &db)
{
    sqlite3_create_function_v2(db.handle(), "fold_text", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               foldFunction, nullptr, nullptr, nullptr);
}

bool tableExists(Database &db, const QString &name)
{
    Statement s = db.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name=?1 COLLATE NOCASE"));
    s.bind(1, Variant(name));
    const bool found = s.step();
    if (found)
        s.run();
    return found;
}

// Errors that only say the file cannot be written now.
bool cannotWriteNow(const DbError &e)
{
    return e.number() == DbErr::LockedByOther || e.number() == DbErr::Locked ||
           e.number() == DbErr::CannotOpen;
}

// Characters whose composition with a following one Unicode defines (first), and those that
// can be joined to a preceding one without being a combining mark (second): Hangul vowels and
// finals, a few vowel signs of Indic scripts.
struct Composition {
    QSet<char32_t> first;
    QSet<char32_t> second;
};

const Composition &composition()
{
    static const Composition table = [] {
        Composition c;
        for (char32_t u = 0; u < 0x30000; ++u) {
            if (QChar::decompositionTag(u) != QChar::Canonical)
                continue;
            const QList<uint> parts = QChar::decomposition(u).toUcs4();
            if (parts.size() != 2)
                continue;
            c.first.insert(parts[0]);
            if (QChar::combiningClass(parts[1]) == 0)
                c.second.insert(parts[1]);
        }
        // Hangul syllables compose by rule: a leading consonant takes a vowel, a syllable
        // without a final consonant takes one.
        for (char32_t u = 0x1100; u <= 0x1112; ++u)
            c.first.insert(u);
        for (char32_t u = 0xAC00; u <= 0xD7A3; u += 28)
            c.first.insert(u);
        for (char32_t u = 0x1161; u <= 0x1175; ++u)
            c.second.insert(u);
        for (char32_t u = 0x11A8; u <= 0x11C2; ++u)
            c.second.insert(u);
        return c;
    }();
    return table;
}

} // namespace

bool indexes(const QString &column)
{
    return columnNames().contains(column, Qt::CaseInsensitive);
}

namespace {

// ASCII letters in lower case, so that the letter case the comparisons ignore cannot change what
// Unicode joins (E and e with an accent mark), and again after NFKC made full-width letters ASCII.
QString asciiLower(QString text, bool *ascii = nullptr)
{
    for (QChar &c : text) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 0x20);
        else if (ascii && c.unicode() > 0x7f)
            *ascii = false;
    }
    return text;
}

} // namespace

QString contentTable()
{
    return QString::fromLatin1(Table) + QStringLiteral("_content");
}

namespace {

// Where the index holds DT's column (any letter case), -1 when it does not.
qsizetype position(const QString &column)
{
    const QStringList &names = columnNames();
    for (qsizetype n = 0; n < names.size(); ++n) {
        if (names[n].compare(column, Qt::CaseInsensitive) == 0)
            return n;
    }
    return -1;
}

} // namespace

QString contentColumn(const QString &column)
{
    return QStringLiteral("c%1").arg(position(column));
}

QString foldText(const QString &text)
{
    bool ascii = true;
    const QString lower = asciiLower(text, &ascii);
    return ascii ? lower : asciiLower(lower.normalized(QString::NormalizationForm_KC));
}

QString safeInfix(const QString &term)
{
    const Composition &c = composition();
    QList<uint> cps = foldText(term).toUcs4();
    auto joinsBefore = [&](char32_t u) { return QChar::combiningClass(u) != 0 || c.second.contains(u); };
    qsizetype begin = 0;
    while (begin < cps.size() && joinsBefore(cps[begin]))
        ++begin;
    qsizetype end = cps.size();
    while (end > begin && QChar::combiningClass(cps[end - 1]) != 0)
        --end;
    // Marks that follow in the stored text may be ordered before the term's own and join its
    // last letter: that letter goes whenever it can take one.
    if (end > begin && (c.first.contains(cps[end - 1]) || end < cps.size()))
        --end;
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(cps.constData() + begin), end - begin);
}

// The text items' folded values alone, in an index of the content table: a term too short for
// the trigrams is looked for there, reading a quarter of what the content table with the memos
// holds. Made with the index, so that its page lies among the schema's first ones.
void indexNames(Database &db)
{
    const QString name = QStringLiteral("DT_TextNames");
    if (tableExists(db, name))
        return;
    QStringList columns;
    for (const QString &c : columnNames()) {
        if (c.startsWith(QLatin1String("Str")))
            columns << contentColumn(c);
    }
    db.executeNative(QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                         .arg(name, quoteIdentifier(contentTable()), columns.join(QStringLiteral(", "))));
}

void create(Database &db)
{
    // A server's archive has trigram indexes of its own (db/schema.cpp).
    if (db.dialect() != Dialect::SQLite || !tableExists(db, QStringLiteral("DT")))
        return;
    registerFold(db);
    Transaction t(db);
    if (!tableExists(db, QString::fromLatin1(Table))) {
        db.executeNative(
            QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, tokenize='trigram', detail='column')")
                .arg(table(), columnNames().join(QStringLiteral(", "))));
        db.executeNative(QStringLiteral("CREATE TABLE DT_TextDirty (ID INTEGER PRIMARY KEY)"));
        // Plain SQL only: any program that writes DT keeps the list.
        const QString note = QStringLiteral("INSERT OR IGNORE INTO DT_TextDirty (ID) VALUES ");
        db.executeNative(
            QStringLiteral("CREATE TRIGGER DT_TextInsert AFTER INSERT ON DT BEGIN %1(new.ID); END")
                .arg(note));
        db.executeNative(QStringLiteral("CREATE TRIGGER DT_TextUpdate AFTER UPDATE OF ID, %1 ON DT BEGIN "
                                        "%2(old.ID); %2(new.ID); END")
                             .arg(columnList(), note));
        db.executeNative(
            QStringLiteral("CREATE TRIGGER DT_TextDelete AFTER DELETE ON DT BEGIN %1(old.ID); END")
                .arg(note));
        rebuild(db);
    }
    indexNames(db);
    t.commit();
}

bool catchUp(Database &db)
{
    if (db.dialect() != Dialect::SQLite)
        return false;
    registerFold(db);
    if (!tableExists(db, QString::fromLatin1(Table)) || !tableExists(db, QStringLiteral("DT_TextDirty")))
        return false;
    {
        Statement dirty = db.prepare(QStringLiteral("SELECT 1 FROM DT_TextDirty LIMIT 1"));
        if (!dirty.step())
            return true;
        dirty.run();
    }
    try {
        Transaction t(db);
        db.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid IN (SELECT ID FROM DT_TextDirty)").arg(table()))
            .run();
        db.prepare(QStringLiteral("INSERT INTO %1 (rowid, %2) SELECT ID, %3 FROM DT "
                                  "WHERE ID IN (SELECT ID FROM DT_TextDirty)")
                       .arg(table(), columnList(), columnList(true)))
            .run();
        db.prepare(QStringLiteral("DELETE FROM DT_TextDirty")).run();
        t.commit();
        return true;
    } catch (const DbError &e) {
        if (cannotWriteNow(e))
            return false;
        throw;
    }
}

double lookupShare(Database &db, const QString &column, const QString &term)
{
    const qsizetype n = position(column);
    Statement rows =
        db.prepare(QStringLiteral("SELECT max(id) FROM %1").arg(quoteIdentifier(contentTable())));
    const qint64 all = rows.step() ? rows.column(0).toInteger() : 0;
    rows.run();
    if (n < 0 || all <= 0)
        return 1;
    // The index's own lookup, stopped at a quarter of the rows: a rare trigram ends it at once,
    // where counting a common one's rows would read its whole list.
    Statement holding =
        db.prepare(QStringLiteral("SELECT count(*) FROM (SELECT rowid FROM %1 WHERE %1 MATCH ?1 "
                                  "LIMIT ?2)")
                       .arg(table()));
    holding.bind(1, Variant(trigramQuery(column, term)));
    holding.bind(2, Variant(static_cast<std::int64_t>(all / 4 + 1)));
    const qint64 found = holding.step() ? holding.column(0).toInteger() : all;
    holding.run();
    return static_cast<double>(found) / static_cast<double>(all);
}

QString trigramQuery(const QString &column, const QString &term)
{
    const QList<uint> cps = term.toUcs4();
    QStringList trigrams;
    for (qsizetype k = 0; k + 3 <= cps.size(); ++k)
        trigrams << u'"' +
                        QString::fromUcs4(reinterpret_cast<const char32_t *>(cps.constData() + k), 3)
                            .replace(u'"', QStringLiteral("\"\"")) +
                        u'"';
    const qsizetype n = position(column);
    return QStringLiteral("%1 : (%2)").arg(columnNames().value(n), trigrams.join(QStringLiteral(" AND ")));
}

void rebuild(Database &db)
{
    if (db.dialect() != Dialect::SQLite)
        return;
    Transaction t(db);
    db.executeNative(QStringLiteral("DELETE FROM DT_TextDirty"));
    db.executeNative(QStringLiteral("INSERT INTO DT_TextDirty (ID) SELECT ID FROM DT"));
    db.executeNative(QStringLiteral("DELETE FROM ") + table());
    if (!catchUp(db))
        throw DbError(DbErr::CannotOpen, QStringLiteral("検索用の索引を作れません。"));
    t.commit();
}

} // namespace zumen::TextIndex
