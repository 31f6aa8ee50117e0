#include "db/jet_sql.h"

#include "db/db_error.h"
#include "db/text_index.h"
#include "text/utility.h"

#include <algorithm>
#include <vector>

namespace zumen {
namespace {

struct Token {
    enum class Type { Word, Quoted, Number, Text, Date, Symbol };
    Type type;
    QString text; // words and symbols as written; texts and dates without their delimiters
};

DbError syntaxError(const QString &expression)
{
    return DbError(DbErr::SyntaxError, QStringLiteral("クエリ式 '%1' の構文エラーです。").arg(expression));
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.unicode() > 0x7f;
}

std::vector<Token> tokenize(const QString &sql)
{
    std::vector<Token> tokens;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'\'' || c == u'"') {
            // A doubled delimiter inside stands for one.
            QString text;
            qsizetype j = i + 1;
            for (;;) {
                if (j >= n)
                    throw syntaxError(sql);
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        text += c;
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += sql[j++];
            }
            tokens.push_back({Token::Type::Text, text});
            i = j + 1;
        } else if (c == u'#') {
            const qsizetype end = sql.indexOf(u'#', i + 1);
            if (end < 0)
                throw syntaxError(sql);
            tokens.push_back({Token::Type::Date, sql.mid(i + 1, end - i - 1)});
            i = end + 1;
        } else if (c == u'[') {
            const qsizetype end = sql.indexOf(u']', i + 1);
            if (end < 0)
                throw syntaxError(sql);
            tokens.push_back({Token::Type::Quoted, sql.mid(i + 1, end - i - 1)});
            i = end + 1;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && sql[i + 1].isDigit())) {
            qsizetype j = i;
            while (j < n && (sql[j].isDigit() || sql[j] == u'.'))
                ++j;
            if (j < n && (sql[j] == u'e' || sql[j] == u'E')) {
                qsizetype k = j + 1;
                if (k < n && (sql[k] == u'+' || sql[k] == u'-'))
                    ++k;
                if (k < n && sql[k].isDigit()) {
                    j = k;
                    while (j < n && sql[j].isDigit())
                        ++j;
                }
            }
            tokens.push_back({Token::Type::Number, sql.mid(i, j - i)});
            i = j;
        } else if (isWordChar(c)) {
            qsizetype j = i;
            while (j < n && isWordChar(sql[j]))
                ++j;
            tokens.push_back({Token::Type::Word, sql.mid(i, j - i)});
            i = j;
        } else {
            static const QString twoChar[] = {QStringLiteral("<>"), QStringLiteral("<="),
                                              QStringLiteral(">=")};
            QString symbol(c);
            for (const QString &s : twoChar) {
                if (sql.mid(i, 2) == s)
                    symbol = s;
            }
            static const QString allowed = QStringLiteral("=<>(),.*+-/&;");
            if (symbol.size() == 1 && !allowed.contains(c))
                throw syntaxError(sql);
            tokens.push_back({Token::Type::Symbol, symbol});
            i += symbol.size();
        }
    }
    return tokens;
}

bool isKeyword(const Token &t, const char *word)
{
    return t.type == Token::Type::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// Literals become parameters, so that texts differing only in their values share one
// prepared statement.
QString parameter(const Variant &value, QList<Variant> &params)
{
    params.append(value);
    return QStringLiteral("?%1").arg(params.size());
}

// A code point written by number, so that nothing in a pattern is taken for expression syntax.
QString codePoint(char32_t c, Dialect dialect)
{
    if (dialect == Dialect::PostgreSQL)
        return QStringLiteral("\\U%1").arg(static_cast<uint>(c), 8, 16, QLatin1Char('0'));
    return QStringLiteral("\\x{%1}").arg(static_cast<uint>(c), 0, 16);
}

bool isAsciiLetter(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

// Expression class members for the code points from..to, with the other case of the ASCII
// letters among them: like NOCASE and SQLite's LIKE, letter case is ignored for ASCII only.
QString classMembers(char32_t from, char32_t to, Dialect dialect)
{
    auto range = [dialect](char32_t a, char32_t b) {
        return a == b ? codePoint(a, dialect) : codePoint(a, dialect) + u'-' + codePoint(b, dialect);
    };
    QString out = range(from, to);
    for (const char32_t first : {U'A', U'a'}) {
        const char32_t low = std::max(from, first);
        const char32_t high = std::min(to, static_cast<char32_t>(first + 25));
        if (low <= high)
            out += range(low ^ 0x20, high ^ 0x20);
    }
    return out;
}

// Jet LIKE patterns: * any run, ? one character, # one digit, [..] a character class.
// Patterns that need only * and ? become SQLite LIKE (which can use an index on a prefix);
// others become a REGEXP served by the engine layer's own function. On a server, ILIKE and the
// server's own regular expressions; `lowered` when the column before it is read as lower(col),
// which an index of the server serves for a fixed beginning.
QString translateLike(const QString &pattern, bool negated, QList<Variant> &params, Dialect dialect,
                      bool lowered = false)
{
    const bool server = dialect == Dialect::PostgreSQL;
    const bool needsRegexp = pattern.contains(u'#') || pattern.contains(u'[');
    if (!needsRegexp) {
        QString like;
        bool escaped = false;
        for (QChar c : pattern) {
            if (c == u'*') {
                like += u'%';
            } else if (c == u'?') {
                like += u'_';
            } else if (c == u'%' || c == u'_' || c == u'\\') {
                like += u'\\';
                like += c;
                escaped = true;
            } else {
                like += c;
            }
        }
        const QString mark = parameter(like, params);
        QString result = (negated ? QStringLiteral("NOT ") : QString()) +
                         (!server   ? QStringLiteral("LIKE ") + mark
                          : lowered ? QStringLiteral("LIKE lower(CAST(%1 AS text))").arg(mark)
                                    : QStringLiteral("ILIKE ") + mark);
        if (escaped)
            result += QStringLiteral(" ESCAPE '\\'");
        return result;
    }
    // Code points, not UTF-16 units: half a surrogate pair in the expression matches nothing.
    const QList<uint> cps = pattern.toUcs4();
    QString regexp = QStringLiteral("^");
    for (qsizetype i = 0; i < cps.size(); ++i) {
        const char32_t c = cps[i];
        if (c == U'*') {
            regexp += QStringLiteral(".*");
        } else if (c == U'?') {
            regexp += u'.';
        } else if (c == U'#') {
            regexp += QStringLiteral("[0-9]");
        } else if (c == U'[') {
            const qsizetype end = cps.indexOf(U']', i + 1);
            if (end < 0)
                throw syntaxError(pattern);
            qsizetype k = i + 1;
            const bool excluding = k < end && cps[k] == U'!';
            if (excluding)
                ++k;
            QString members;
            for (; k < end; ++k) {
                const char32_t from = cps[k];
                char32_t to = from;
                // A "-" first or last in the class stands for itself.
                if (k + 2 < end && cps[k + 1] == U'-') {
                    to = cps[k + 2];
                    k += 2;
                    if (to < from)
                        throw syntaxError(pattern);
                }
                members += classMembers(from, to, dialect);
            }
            // "[]" asks for nothing; "[!]" for any one character.
            if (!members.isEmpty())
                regexp += (excluding ? QStringLiteral("[^") : QStringLiteral("[")) + members + u']';
            else if (excluding)
                regexp += u'.';
            i = end;
        } else {
            regexp += isAsciiLetter(c) ? u'[' + classMembers(c, c, dialect) + u']' : codePoint(c, dialect);
        }
    }
    // \z (the server's \Z), not $: "$" would also match before a final line break.
    if (server)
        return QStringLiteral("%1 %2").arg(negated ? QStringLiteral("!~") : QStringLiteral("~"),
                                           parameter(regexp + QStringLiteral("\\Z"), params));
    regexp += QStringLiteral("\\z");
    return (negated ? QStringLiteral("NOT REGEXP ") : QStringLiteral("REGEXP ")) + parameter(regexp, params);
}

// How a condition may search text: through DT's text index, or by folding every value.
struct TextContext {
    Dialect dialect = Dialect::SQLite;
    bool index = false;
    bool *searchesText = nullptr;
    const std::function<double(const QString &, const QString &)> *lookupShare = nullptr;
    QStringList *lookup = nullptr; // the last index lookup's keys and the term ordering them
};

// A LIKE pattern for folded text: the term anywhere, its % _ and \ escaped (ESCAPE '\').
QString anywhere(const QString &folded)
{
    QString pattern = QStringLiteral("%");
    for (const QChar c : folded) {
        if (c == u'%' || c == u'_' || c == u'\\')
            pattern += u'\\';
        pattern += c;
    }
    return pattern + u'%';
}

// The longest run of the term without % and _: what the trigram index's LIKE (which has no
// ESCAPE) can look for.
QString longestRun(const QString &term)
{
    QString longest, run;
    for (const QChar c : term + u'%') {
        if (c != u'%' && c != u'_') {
            run += c;
            continue;
        }
        if (run.toUcs4().size() > longest.toUcs4().size())
            longest = run;
        run.clear();
    }
    return longest;
}

// Whether the trigram index should look the run up in the column: three characters or more,
// and, when the caller can tell, leaving no more than this share of the rows to check.
bool lookUp(const QString &name, const QString &run, const TextContext &text, double share)
{
    return run.toUcs4().size() >= 3 && (!text.lookupShare || (*text.lookupShare)(name, run) <= share);
}

// The rowids of the values of a column the index holds that hold the folded term. The trigram
// index answers a LIKE by its longest run, the exact pattern checks what it finds. A shorter or
// common term is looked for in the index's folded text row by row (the FTS table itself would
// find nothing for two characters outside ASCII); both sides folded, instr is the exact test.
QString indexLookup(const QString &name, const QString &term, QList<Variant> &params, const TextContext &text)
{
    const QString longest = longestRun(term);
    QString sql, order = QStringLiteral("rowid");
    // The index checks each candidate against the folded text: past about a twentieth of the
    // rows, reading every row's costs less.
    if (!lookUp(name, longest, text, 1.0 / 20)) {
        sql = QStringLiteral("SELECT id FROM %1 WHERE instr(%2, %3) > 0")
                  .arg(quoteIdentifier(TextIndex::contentTable()), TextIndex::contentColumn(name),
                       parameter(term, params));
        // Sorted after: ordered by id, SQLite would read the content table rather than the
        // smaller index of the text items' folded values (db/text_index.cpp).
        order = QStringLiteral("+id");
    } else {
        const QString column = quoteIdentifier(name);
        sql = QStringLiteral("SELECT rowid FROM %1 WHERE %2 LIKE %3")
                  .arg(quoteIdentifier(QString::fromLatin1(TextIndex::Table)), column,
                       parameter(u'%' + longest + u'%', params));
        if (longest != term)
            sql +=
                QStringLiteral(" AND %1 LIKE %2 ESCAPE '\\'").arg(column, parameter(anywhere(term), params));
    }
    if (text.lookup)
        *text.lookup = {sql, order};
    return QStringLiteral("rowid IN (") + sql + u')';
}

// PartialMatch(column, 'term') starting at tokens[i]; i is left on its closing parenthesis.
QString partialMatch(const std::vector<Token> &tokens, std::size_t &i, std::size_t end, const QString &source,
                     QList<Variant> &params, const TextContext &text)
{
    auto symbol = [&](std::size_t k, char16_t c) {
        return k < end && tokens[k].type == Token::Type::Symbol && tokens[k].text == QChar(c);
    };
    if (!symbol(i + 1, u'(') || i + 2 >= end ||
        (tokens[i + 2].type != Token::Type::Word && tokens[i + 2].type != Token::Type::Quoted) ||
        !symbol(i + 3, u',') || i + 4 >= end || tokens[i + 4].type != Token::Type::Text ||
        !symbol(i + 5, u')'))
        throw syntaxError(source);
    const QString column = quoteIdentifier(tokens[i + 2].text);
    const QString term = TextIndex::foldText(tokens[i + 4].text);
    i += 5;
    if (text.searchesText)
        *text.searchesText = true;
    // The server folds as fold_text does (zumen_fold, db/schema.cpp); its trigram index serves this.
    if (text.dialect == Dialect::PostgreSQL)
        return QStringLiteral("(%1 IS NOT NULL AND zumen_fold(%1) LIKE %2 ESCAPE '\\')")
            .arg(column, parameter(anywhere(term), params));
    if (text.index && TextIndex::indexes(tokens[i - 3].text))
        return indexLookup(tokens[i - 3].text, term, params, text);
    return QStringLiteral("ifnull(fold_text(%1) LIKE %2 ESCAPE '\\', 0)")
        .arg(column, parameter(anywhere(term), params));
}

bool isAndOr(const Token &t)
{
    return isKeyword(t, "AND") || isKeyword(t, "OR");
}

// A word after which a value, not an operand of "-", follows.
bool isOperatorWord(const Token &t)
{
    for (const char *word : {"AND", "OR", "NOT", "IN", "BETWEEN", "LIKE", "IS", "WHERE"}) {
        if (isKeyword(t, word))
            return true;
    }
    return false;
}

// For "column LIKE '*text*'" at tokens[like - 1 .. like + 1], standing as a condition of its own:
// the part of the text the index can look for, or nothing. Under NOT the lookup would turn a
// missing value's unknown into true, so the condition must not have one.
QString narrowingTerm(const std::vector<Token> &tokens, std::size_t like, std::size_t begin, std::size_t end,
                      int depth, bool hasNot, const TextContext &text)
{
    if (hasNot || depth != 0 || like == begin || like + 1 >= end)
        return {};
    const Token &column = tokens[like - 1];
    if ((column.type != Token::Type::Word && column.type != Token::Type::Quoted) ||
        !TextIndex::indexes(column.text) || (like - 1 > begin && !isAndOr(tokens[like - 2])) ||
        (like + 2 < end && !isAndOr(tokens[like + 2])))
        return {};
    const QString &pattern = tokens[like + 1].text;
    if (pattern.size() < 2 || !pattern.startsWith(u'*') || !pattern.endsWith(u'*'))
        return {};
    const QString middle = pattern.mid(1, pattern.size() - 2);
    for (const QChar c : {u'*', u'?', u'#', u'['}) {
        if (middle.contains(c))
            return {};
    }
    // A term the index cannot look up, or one in many rows, is left to the scan. Candidates
    // cost a look into DT each: past about a fifth of the rows, reading every row costs less.
    const QString infix = TextIndex::safeInfix(middle);
    return lookUp(column.text, infix, text, 1.0 / 5) ? infix : QString();
}

QString translateTokens(const std::vector<Token> &tokens, std::size_t begin, std::size_t end,
                        const QString &source, QList<Variant> &params, const TextContext &text = {})
{
    QStringList out;
    bool hasNot = false;
    for (std::size_t i = begin; i < end; ++i)
        hasNot = hasNot || isKeyword(tokens[i], "NOT");
    int depth = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const Token &t = tokens[i];
        switch (t.type) {
        case Token::Type::Quoted:
            out << quoteIdentifier(t.text);
            break;
        case Token::Type::Number: {
            bool whole = false;
            qlonglong n = t.text.toLongLong(&whole);
            double d = t.text.toDouble();
            // The server cannot tell which "-" a parameter of unknown type stands for: a sign
            // (after an operator or at the start) goes into the value.
            if (text.dialect == Dialect::PostgreSQL && i > begin &&
                tokens[i - 1].type == Token::Type::Symbol && tokens[i - 1].text == u'-' &&
                (i - 1 == begin ||
                 (tokens[i - 2].type == Token::Type::Symbol && tokens[i - 2].text != u')') ||
                 (tokens[i - 2].type == Token::Type::Word && isOperatorWord(tokens[i - 2])))) {
                out.removeLast();
                n = -n;
                d = -d;
            }
            out << (whole ? parameter(Variant(static_cast<std::int64_t>(n)), params)
                          : parameter(Variant(d), params));
            break;
        }
        case Token::Type::Text:
            out << parameter(t.text, params);
            break;
        case Token::Type::Date: {
            const std::optional<QDate> date = ParseDate(t.text);
            if (!date)
                throw syntaxError(source);
            out << parameter(date->toString(Qt::ISODate), params);
            break;
        }
        case Token::Type::Symbol:
            depth += t.text == u'(' ? 1 : t.text == u')' ? -1 : 0;
            out << (t.text == u'&' ? QStringLiteral("||") : t.text);
            break;
        case Token::Type::Word: {
            static const char *const keywords[] = {"AND", "OR", "NOT", "IS", "NULL", "IN", "BETWEEN"};
            const bool negatedLike = isKeyword(t, "NOT") && i + 1 < end && isKeyword(tokens[i + 1], "LIKE");
            if (isKeyword(t, "LIKE") || negatedLike) {
                const std::size_t p = negatedLike ? i + 2 : i + 1;
                if (p >= end || tokens[p].type != Token::Type::Text)
                    throw syntaxError(source);
                const QString narrowing = text.index && !negatedLike
                                              ? narrowingTerm(tokens, i, begin, end, depth, hasNot, text)
                                              : QString();
                const bool server = text.dialect == Dialect::PostgreSQL;
                // A column of its own before the LIKE: on the server, read as lower(col), which
                // its index on the column's lower-case text serves for a fixed beginning.
                const bool plainColumn =
                    i > begin && !out.isEmpty() &&
                    (tokens[i - 1].type == Token::Type::Word || tokens[i - 1].type == Token::Type::Quoted);
                if (narrowing.isEmpty()) {
                    const QString like = translateLike(tokens[p].text, negatedLike, params, text.dialect,
                                                       server && plainColumn);
                    // The server's citext would fold every letter in a regular expression; the
                    // expression spells out the ASCII letters' cases itself, as on the file.
                    if (server && like.contains(u'~') && !out.isEmpty())
                        out.last() += QStringLiteral("::text");
                    else if (server && plainColumn)
                        out.last() = QStringLiteral("lower(%1::text)").arg(out.last());
                    out << like;
                } else {
                    // The index finds the candidates, the LIKE as written decides.
                    *text.searchesText = true;
                    const QString column = out.takeLast();
                    // Rows holding every trigram of the term: found without reading any text.
                    out << QStringLiteral("(rowid IN (SELECT rowid FROM %1 WHERE %1 MATCH %2)")
                                   .arg(quoteIdentifier(QString::fromLatin1(TextIndex::Table)),
                                        parameter(TextIndex::trigramQuery(tokens[i - 1].text, narrowing),
                                                  params)) +
                               QStringLiteral(" AND ") + column
                        << translateLike(tokens[p].text, false, params, text.dialect) + u')';
                }
                i = p;
            } else if (isKeyword(t, "PartialMatch")) {
                out << partialMatch(tokens, i, end, source, params, text);
            } else if (isKeyword(t, "TRUE") || isKeyword(t, "YES")) {
                out << QStringLiteral("1");
            } else if (isKeyword(t, "FALSE") || isKeyword(t, "NO")) {
                out << QStringLiteral("0");
            } else {
                bool keyword = false;
                for (const char *k : keywords)
                    keyword = keyword || isKeyword(t, k);
                out << (keyword ? t.text.toUpper() : quoteIdentifier(t.text));
            }
            break;
        }
        }
    }
    return out.join(u' ').replace(QStringLiteral(" . "), QStringLiteral("."));
}

QString identifier(const Token &t, const QString &source)
{
    if (t.type != Token::Type::Word && t.type != Token::Type::Quoted)
        throw syntaxError(source);
    return t.text;
}

} // namespace

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString keyColumn(const QString &table, Dialect dialect)
{
    // DT's ID is its rowid on the file; a server's tables have a rowid column, but DT its ID only.
    if (dialect == Dialect::PostgreSQL && table.compare(QLatin1String("DT"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("\"ID\"");
    return QStringLiteral("rowid");
}

SqlText translateCondition(const QString &jetCondition, Dialect dialect)
{
    const std::vector<Token> tokens = tokenize(jetCondition);
    if (tokens.empty())
        throw syntaxError(jetCondition);
    SqlText result;
    TextContext text;
    text.dialect = dialect;
    result.sql = translateTokens(tokens, 0, tokens.size(), jetCondition, result.params, text);
    return result;
}

JetStatement translateJet(const QString &jetSql, TextSearch textSearch,
                          const std::function<double(const QString &, const QString &)> &lookupShare,
                          Dialect dialect)
{
    const bool server = dialect == Dialect::PostgreSQL;
    std::vector<Token> tokens = tokenize(jetSql);
    while (!tokens.empty() && tokens.back().type == Token::Type::Symbol && tokens.back().text == u';')
        tokens.pop_back();
    JetStatement st;
    std::size_t i = 0;
    auto expect = [&](const char *word) {
        if (i >= tokens.size() || !isKeyword(tokens[i], word))
            throw syntaxError(jetSql);
        ++i;
    };
    if (!tokens.empty() && isKeyword(tokens[0], "DELETE")) {
        st.kind = JetStatement::Kind::Delete;
        ++i;
        if (i < tokens.size() && tokens[i].type == Token::Type::Symbol && tokens[i].text == u'*')
            ++i;
    } else {
        expect("SELECT");
        if (i < tokens.size() && isKeyword(tokens[i], "TOP")) {
            ++i;
            bool ok = false;
            if (i < tokens.size() && tokens[i].type == Token::Type::Number)
                st.top = tokens[i].text.toLongLong(&ok);
            if (!ok)
                throw syntaxError(jetSql);
            ++i;
        }
        if (i < tokens.size() && tokens[i].type == Token::Type::Symbol && tokens[i].text == u'*') {
            ++i;
        } else {
            for (;;) {
                if (i >= tokens.size())
                    throw syntaxError(jetSql);
                st.columns << identifier(tokens[i++], jetSql);
                if (i < tokens.size() && tokens[i].type == Token::Type::Symbol && tokens[i].text == u',') {
                    ++i;
                    continue;
                }
                break;
            }
        }
    }
    expect("FROM");
    if (i >= tokens.size())
        throw syntaxError(jetSql);
    st.table = identifier(tokens[i++], jetSql);

    std::size_t whereBegin = 0, whereEnd = 0, orderBegin = 0;
    if (i < tokens.size() && isKeyword(tokens[i], "WHERE")) {
        whereBegin = ++i;
        while (i < tokens.size() &&
               !(isKeyword(tokens[i], "ORDER") && i + 1 < tokens.size() && isKeyword(tokens[i + 1], "BY")))
            ++i;
        whereEnd = i;
        if (whereEnd == whereBegin)
            throw syntaxError(jetSql);
        QStringList lookup;
        const TextContext text{dialect,
                               !server && st.kind == JetStatement::Kind::Select &&
                                   textSearch == TextSearch::Index &&
                                   st.table.compare(QLatin1String("DT"), Qt::CaseInsensitive) == 0,
                               &st.searchesText, lookupShare ? &lookupShare : nullptr, &lookup};
        st.where = translateTokens(tokens, whereBegin, whereEnd, jetSql, st.params, text);
        // PartialMatch(column, 'term') and nothing else.
        if (!lookup.isEmpty() && whereEnd - whereBegin == 6 &&
            isKeyword(tokens[whereBegin], "PartialMatch")) {
            st.indexKeySql = lookup[0];
            st.indexKeyOrder = lookup[1];
        }
    }
    if (i < tokens.size()) {
        if (st.kind == JetStatement::Kind::Delete)
            throw syntaxError(jetSql);
        expect("ORDER");
        expect("BY");
        orderBegin = i;
        QStringList terms;
        while (i < tokens.size()) {
            QString term = quoteIdentifier(identifier(tokens[i++], jetSql));
            bool descending = false;
            if (i < tokens.size() && (isKeyword(tokens[i], "DESC") || isKeyword(tokens[i], "ASC"))) {
                descending = isKeyword(tokens[i], "DESC");
                term += u' ' + tokens[i++].text.toUpper();
            }
            // Null sorts first as on the file; the server puts it last unless told.
            if (server)
                term += descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
            terms << term;
            if (i < tokens.size()) {
                if (tokens[i].type != Token::Type::Symbol || tokens[i].text != u',')
                    throw syntaxError(jetSql);
                ++i;
            }
        }
        if (i == orderBegin)
            throw syntaxError(jetSql);
        st.orderBy = terms.join(QStringLiteral(", "));
    }
    st.key = keyColumn(st.table, dialect);
    return st;
}

QString JetStatement::keySql(bool ordered) const
{
    if (!indexKeySql.isEmpty() && orderBy.isEmpty()) {
        if (!ordered)
            return indexKeySql;
        return indexKeySql + QStringLiteral(" ORDER BY ") + indexKeyOrder +
               (top ? QStringLiteral(" LIMIT ") + QString::number(*top) : QString());
    }
    QString sql = QStringLiteral("SELECT ") + key + QStringLiteral(" FROM ") + quoteIdentifier(table);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    if (!ordered)
        return sql;
    // The key last keeps equal sort keys in a stable order.
    sql +=
        QStringLiteral(" ORDER BY ") + (orderBy.isEmpty() ? QString() : orderBy + QStringLiteral(", ")) + key;
    if (top)
        sql += QStringLiteral(" LIMIT ") + QString::number(*top);
    return sql;
}

QString JetStatement::rowSql() const
{
    QStringList cols;
    for (const QString &c : columns)
        cols << quoteIdentifier(c);
    return QStringLiteral("SELECT ") + (cols.isEmpty() ? QStringLiteral("*") : cols.join(u',')) +
           QStringLiteral(" FROM ") + quoteIdentifier(table) + QStringLiteral(" WHERE ") + key +
           QStringLiteral("=?1");
}

QString JetStatement::deleteSql() const
{
    QString sql = QStringLiteral("DELETE FROM ") + quoteIdentifier(table);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return sql;
}

} // namespace zumen
