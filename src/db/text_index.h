#pragma once

#include <QString>
#include <QStringList>

namespace zumen {

class Database;

// A trigram index over the text and memo items of DT (Str1-10, Text1-10) that finds a term
// anywhere in a value in milliseconds. It holds each value folded (foldText), so that a
// half-width ﾌﾟﾚｰﾄ finds プレート and ＡＢＣ finds ABC.
//
// Other programs may write DT too and cannot fold as we do, so triggers written in plain SQL only
// note the identifiers of changed records (table DT_TextDirty); catchUp folds those rows into
// the index. The stores call it in the transaction that writes DT, a search before it reads.
namespace TextIndex {

// The FTS table; its rowid is DT's ID and its columns are named as DT's.
inline constexpr char Table[] = "DT_Text";

// Whether DT's column (any letter case) is held in the index.
bool indexes(const QString &column);
// Where the index keeps the column's folded text row by row: FTS5's own content table, one
// column "c<n>" per indexed column in order, its rowid in "id". Scanning it directly takes a
// quarter of the time a scan through the FTS table takes.
QString contentTable();
QString contentColumn(const QString &column);

// What the index holds for a text, and how a term is folded to look it up: ASCII letters in
// lower case, then Unicode NFKC (width and compatibility forms as their plain ones).
QString foldText(const QString &text);

// The longest part of foldText(term) that the folded text of every value holding the term
// itself (ASCII letters in either case) holds too. Folding may join characters across the
// term's ends (a stored ﾎﾞ folds to ボ, so ﾎ inside it is no longer ホ): a first character
// that could join the one before, and a last that could take a following mark, are dropped.
QString safeInfix(const QString &term);

// Creates the index, its dirty list and the triggers, filled from DT's rows, in one
// transaction; a file whose index is older than the index of the text items' folded values
// (where a short term is looked for) gets that. Does nothing when the file has no DT.
void create(Database &db);

// Brings the index in step with DT: folds the rows the triggers listed and clears the list.
// True when the index now answers for DT; false when the file has none, or it is behind and
// cannot be written now (read-only, locked): the caller scans DT instead. Throws nothing for
// those; other errors go to the caller. Also makes foldText available to SQL as fold_text().
bool catchUp(Database &db);

// The share of DT's rows whose column holds every trigram of the folded term (three characters
// or more), counted up to a quarter of the rows: how many rows a lookup in the index would
// leave to check. Needs catchUp on the connection first; only the speed of a search depends on it.
double lookupShare(Database &db, const QString &column, const QString &term);

// The index's query text (for MATCH) of the rows whose column holds every trigram of the folded
// term: every row holding the term and perhaps a few more, found without reading any text.
QString trigramQuery(const QString &column, const QString &term);

// Fills the index anew from every row of DT.
void rebuild(Database &db);

} // namespace TextIndex
} // namespace zumen
