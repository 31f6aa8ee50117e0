#pragma once

#include "text/variant.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace zumen {

// The engine a statement is written for: the embedded file or a shared archive's server.
enum class Dialect { SQLite, PostgreSQL };

// A statement of the file engine's SQL dialect, taken apart so that the engine layer can
// run it on SQLite: the keys of a SELECT's rows are read first, the rows themselves later.
struct JetStatement {
    enum class Kind { Select, Delete };
    Kind kind = Kind::Select;
    QString table;         // as written in the statement
    QStringList columns;   // empty for "*"
    QString where;         // SQLite condition with ?N placeholders, empty when there is none
    QList<Variant> params; // the condition's literals, bound to ?1, ?2 …
    QString orderBy;       // SQLite ordering terms, empty when there is none
    std::optional<long long> top;
    QString key = QStringLiteral("rowid"); // the column holding each row's key (keyColumn)
    // The condition searches text (PartialMatch, or a LIKE the text index narrows down): run
    // TextIndex::catchUp first, and when it gives false translate again with TextSearch::Scan.
    bool searchesText = false;
    // A condition that is one index lookup alone: the keys straight from the index (its ids are
    // DT's once it is in step), without a look into DT for each; and the term that orders them.
    QString indexKeySql;
    QString indexKeyOrder;

    // The keys of the selected rows, in the statement's order; unordered, in whatever order
    // SQLite finds them (for a caller that sorts them itself; only without ORDER BY and TOP).
    QString keySql(bool ordered = true) const;
    // The selected columns of one row, by its key (bound as parameter 1).
    QString rowSql() const;
    // A DELETE as SQLite text.
    QString deleteSql() const;
};

// Whether a SELECT on DT may read the text index (db/text_index.h), which must then be in step.
enum class TextSearch { Index, Scan };

// Parses "SELECT [TOP n] cols FROM t [WHERE …] [ORDER BY …]" and "DELETE FROM t [WHERE …]".
// Throws DbError 3075 on text it cannot read.
//
// One addition to the dialect: PartialMatch(column, 'term') holds when the column's text holds
// the term anywhere, both folded as the text index folds them (half-width and full-width forms
// alike, ASCII letter case ignored); every character of the term stands for itself. A column
// without a value never matches. With TextSearch::Index, on a text or memo item of DT, the
// index answers it; and a condition "column LIKE '*text*'" of its own there (not under NOT, not
// in parentheses) is first narrowed by the index, then checked as written. lookupShare(column,
// folded term), when given, tells how many rows a lookup would leave (TextIndex::lookupShare);
// for a common term the LIKE is not narrowed and PartialMatch reads the folded text row by row.
// With Dialect::PostgreSQL the text is the server's: text columns compare without case by their
// type (citext), LIKE is ILIKE, Null sorts first, and PartialMatch reads the folded text.
JetStatement translateJet(const QString &jetSql, TextSearch textSearch = TextSearch::Index,
                          const std::function<double(const QString &, const QString &)> &lookupShare = {},
                          Dialect dialect = Dialect::SQLite);

// SQLite text with ?N placeholders and the values bound to them.
struct SqlText {
    QString sql;
    QList<Variant> params;
};

// Translates a condition (a WHERE clause or a FindFirst criterion) into SQLite text:
// identifiers quoted, literals as parameters, #date# literals as ISO text, LIKE patterns
// with Jet's wildcards.
SqlText translateCondition(const QString &jetCondition, Dialect dialect = Dialect::SQLite);

// The column that holds a table's row keys: rowid, or DT's ID on a server.
QString keyColumn(const QString &table, Dialect dialect);

// Quotes an identifier for SQLite.
QString quoteIdentifier(const QString &name);

} // namespace zumen
