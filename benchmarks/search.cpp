// Searches as the search window runs them: its query text opened and read to the end, and
// the result list filled with its first screen shown. Anchors: the best bare query on a copy
// with the indexes it needs (best_us is the anchor), and the same query on the file as it is
// (plain_us).
#include "support/bench.h"

#include "db/folders.h"
#include "search/srch_frm.h"
#include "search/srchlist_frm.h"

#include <QDir>

#include <algorithm>
#include <map>
#include <stdexcept>

using namespace zumen;
using namespace zumen::bench;

namespace {

struct Query {
    QList<SearchCondition> conditions;
    const char *best;  // on the anchor copy
    const char *plain; // on the file as generated
    QList<Variant> values;
};

SearchCondition condition(std::int16_t kind, const char *label, const char *op, const QString &value,
                          std::int16_t eda = 1)
{
    return {{kind, eda, QString::fromUtf8(label), QString()},
            QString::fromUtf8(label),
            QString::fromUtf8(op),
            value};
}

// The first eleven characters of an A1 drawing number from the middle of the table
// ("A1-2015-004"): about 20 drawings at a million records, at least one at any size.
QString numberPrefix(int records)
{
    Statement s = archive(records).db.prepare(QStringLiteral(
        "SELECT substr(Str1, 1, 11) FROM DT WHERE ID >= ?1 AND Str1 LIKE 'A1-%' ORDER BY ID LIMIT 1"));
    s.bind(1, records / 2);
    if (!s.step())
        throw std::runtime_error("no A1 drawing in the second half");
    return s.column(0).toString();
}

Query query(const QString &name, int records)
{
    if (name == QLatin1String("month"))
        return {{condition(Kind::Date, "作成日", ">=", QStringLiteral("2015/06/01")),
                 condition(Kind::Date, "作成日", "<=", QStringLiteral("2015/06/30"))},
                "SELECT rowid FROM DT WHERE Date1 BETWEEN '2015-06-01' AND '2015-06-30'",
                "SELECT rowid FROM DT WHERE Date1 BETWEEN '2015-06-01' AND '2015-06-30'",
                {}};
    if (name == QLatin1String("number"))
        return {{condition(Kind::Number, "数量", ">", QStringLiteral("9990"))},
                "SELECT rowid FROM DT WHERE Val1 > 9990",
                "SELECT rowid FROM DT WHERE Val1 > 9990",
                {}};
    if (name == QLatin1String("tenth"))
        return {{condition(Kind::Number, "数量", "<", QStringLiteral("1000"))},
                "SELECT rowid FROM DT WHERE Val1 < 1000",
                "SELECT rowid FROM DT WHERE Val1 < 1000",
                {}};
    if (name == QLatin1String("number_prefix")) {
        const QString prefix = numberPrefix(records);
        return {{condition(Kind::Text, "図番", "含む", prefix)},
                "SELECT rowid FROM DT WHERE Str1 LIKE ?1",
                "SELECT rowid FROM DT WHERE Str1 LIKE ?1",
                {prefix + u'%'}};
    }
    if (name == QLatin1String("memo"))
        return {{condition(Kind::Memo, "備考", "含む", QStringLiteral("溶接部"))},
                "SELECT rowid FROM Memo WHERE Memo MATCH '\"溶接部\"'",
                "SELECT rowid FROM DT WHERE Text1 LIKE '%溶接部%'",
                {}};
    // A phrase across two remarks: about one memo in ten, its rarest trigram in fewer than a
    // tenth of the records, so the text index narrows it down.
    if (name == QLatin1String("memo_rare"))
        return {{condition(Kind::Memo, "備考", "含む", QStringLiteral("使用する。検査成績書"))},
                "SELECT rowid FROM Memo WHERE Memo MATCH '\"使用する。検査成績書\"'",
                "SELECT rowid FROM DT WHERE Text1 LIKE '%使用する。検査成績書%'",
                {}};
    // 部分一致: the anchors are the folder's own text index asked directly (best) and the plain
    // scan of DT's raw text (plain). Four digits of a serial number: a few hundred at 1M.
    if (name == QLatin1String("partial"))
        return {{condition(Kind::Text, "図番", "部分一致", QStringLiteral("4512"))},
                "SELECT rowid FROM DT_Text WHERE Str1 LIKE '%4512%'",
                "SELECT rowid FROM DT WHERE Str1 LIKE '%4512%'",
                {}};
    // Half-width, finding both widths of a part name: one record in sixteen.
    if (name == QLatin1String("partial_halfwidth"))
        return {{condition(Kind::Text, "品名", "部分一致", QStringLiteral("ﾌﾟﾚｰﾄ"), 2)},
                "SELECT rowid FROM DT_Text WHERE Str2 LIKE '%プレート%'",
                "SELECT rowid FROM DT WHERE Str2 LIKE '%プレート%' OR Str2 LIKE '%ﾌﾟﾚｰﾄ%'",
                {}};
    // One and two characters (ガイド, 蓋: one record in sixteen each): the index's folded text
    // scanned (best) beside DT's raw text.
    if (name == QLatin1String("partial_2chars"))
        return {{condition(Kind::Text, "品名", "部分一致", QStringLiteral("ｶﾞｲ"), 2)},
                "SELECT id FROM DT_Text_content WHERE instr(c1, 'ガイ') > 0",
                "SELECT rowid FROM DT WHERE Str2 LIKE '%ガイ%' OR Str2 LIKE '%ｶﾞｲ%'",
                {}};
    if (name == QLatin1String("partial_1char"))
        return {{condition(Kind::Text, "品名", "部分一致", QStringLiteral("蓋"), 2)},
                "SELECT id FROM DT_Text_content WHERE instr(c1, '蓋') > 0",
                "SELECT rowid FROM DT WHERE Str2 LIKE '%蓋%'",
                {}};
    throw std::invalid_argument("no such query");
}

// The bare query on the server for each search, with the archive's own indexes: its values
// are Query::values, as $1.
const char *serverAnchor(const QString &name)
{
    static const std::map<QString, const char *> anchors = {
        {QStringLiteral("month"), "SELECT id FROM dt WHERE date1 BETWEEN '2015-06-01' AND '2015-06-30'"},
        {QStringLiteral("number"), "SELECT id FROM dt WHERE val1 > 9990"},
        {QStringLiteral("tenth"), "SELECT id FROM dt WHERE val1 < 1000"},
        {QStringLiteral("number_prefix"), "SELECT id FROM dt WHERE str1 ILIKE $1"},
        {QStringLiteral("memo"), "SELECT id FROM dt WHERE text1 ILIKE '%溶接部%'"},
        {QStringLiteral("memo_rare"), "SELECT id FROM dt WHERE text1 ILIKE '%使用する。検査成績書%'"},
        {QStringLiteral("partial"), "SELECT id FROM dt WHERE zumen_fold(str1) LIKE '%4512%'"},
        {QStringLiteral("partial_halfwidth"), "SELECT id FROM dt WHERE zumen_fold(str2) LIKE '%プレート%'"},
        {QStringLiteral("partial_2chars"), "SELECT id FROM dt WHERE zumen_fold(str2) LIKE '%ガイ%'"},
        {QStringLiteral("partial_1char"), "SELECT id FROM dt WHERE zumen_fold(str2) LIKE '%蓋%'"},
    };
    return anchors.at(name);
}

QString queryText(const Query &q)
{
    QString refusal;
    const QString sql = SearchQueryText(q.conditions, refusal);
    if (sql.isEmpty())
        throw std::runtime_error(refusal.toStdString());
    return sql;
}

// Anchors for q on the size, measured now; best is also set as the benchmark's anchor.
Times anchors(benchmark::State &state, const Query &q, int records)
{
    Bare best(anchorFile(records)), plain(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile));
    const Times bestUs = medianMicros([&] { best.run(q.best, q.values); });
    state.counters["plain_us"] = medianMicros([&] { plain.run(q.plain, q.values); }).wall;
    state.counters["best_hits"] = static_cast<double>(best.run(q.best, q.values));
    return bestUs;
}

// The keys of every hit, as the search hands them to the result list.
void Search(benchmark::State &state, const QString &name)
{
    const int records = static_cast<int>(state.range(0));
    Database &db = archive(records).db;
    const Query q = query(name, records);
    const QString sql = queryText(q);
    long long hits = 0;
    measure(
        state,
        [&] {
            Recordset found = db.openRecordset(sql);
            hits = found.recordCount();
        },
        anchors(state, q, records));
    state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK_CAPTURE(Search, month, QStringLiteral("month"))->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, number, QStringLiteral("number"))->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, number_prefix, QStringLiteral("number_prefix"))
    ->Apply(sizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, memo, QStringLiteral("memo"))->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, memo_rare, QStringLiteral("memo_rare"))
    ->Apply(sizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, partial, QStringLiteral("partial"))->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, partial_halfwidth, QStringLiteral("partial_halfwidth"))
    ->Apply(sizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, partial_2chars, QStringLiteral("partial_2chars"))
    ->Apply(sizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, partial_1char, QStringLiteral("partial_1char"))
    ->Apply(sizes)
    ->Unit(benchmark::kMillisecond);

// A search on the shared archive at this size, with its bare query through libpq.
struct ServerQuery {
    ServerQuery(const QString &name, int records)
        : q(query(name, records)), sql(queryText(q)), bare(serverConnection(records)),
          anchorSql(serverAnchor(name))
    {}
    Times anchor()
    {
        return medianMicros([&] { bare.run(anchorSql, q.values); });
    }
    Query q;
    QString sql;
    BarePg bare;
    const char *anchorSql;
};

// The same searches on a shared archive over the server's local socket. Anchor: the bare query
// through libpq (serverAnchor); file_us is the search on the file, measured in the same run.
void ServerSearch(benchmark::State &state, const QString &name)
{
    const int records = static_cast<int>(state.range(0));
    Database &db = serverArchive(records).db;
    ServerQuery s(name, records);
    const Times anchor = s.anchor();
    state.counters["anchor_hits"] = static_cast<double>(s.bare.run(s.anchorSql, s.q.values));
    state.counters["file_us"] =
        medianMicros([&] { archive(records).db.openRecordset(s.sql).recordCount(); }).wall;
    long long hits = 0;
    measure(
        state, [&] { hits = db.openRecordset(s.sql).recordCount(); }, anchor);
    state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK_CAPTURE(ServerSearch, month, QStringLiteral("month"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ServerSearch, number, QStringLiteral("number"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ServerSearch, number_prefix, QStringLiteral("number_prefix"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ServerSearch, memo, QStringLiteral("memo"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ServerSearch, partial, QStringLiteral("partial"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ServerSearch, partial_halfwidth, QStringLiteral("partial_halfwidth"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ServerSearch, partial_1char, QStringLiteral("partial_1char"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);

// The result list as the user first sees it: filled, its row count and the first screen's
// identifiers and names read.
int showList(Database &db, const QString &sql)
{
    constexpr int Screen = 25;
    SrchList_frm list;
    list.fill(db.openRecordset(sql));
    const int rows = list.rowCount() - 1;
    for (int r = 1; r <= std::min(rows, Screen); ++r) {
        QString text = list.textMatrix(r, 0) + list.textMatrix(r, 1);
        benchmark::DoNotOptimize(text);
    }
    return rows;
}

void ResultList(benchmark::State &state, const QString &name)
{
    const int records = static_cast<int>(state.range(0));
    Database &db = archive(records).db;
    const Query q = query(name, records);
    const QString sql = queryText(q);
    int rows = 0;
    measure(
        state, [&] { rows = showList(db, sql); }, anchors(state, q, records));
    state.counters["hits"] = rows;
}
BENCHMARK_CAPTURE(ResultList, tenth, QStringLiteral("tenth"))->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ResultList, number_prefix, QStringLiteral("number_prefix"))
    ->Apply(sizes)
    ->Unit(benchmark::kMillisecond);

// The list on a shared archive; file_us is the list on the file, in the same run.
void ServerResultList(benchmark::State &state, const QString &name)
{
    const int records = static_cast<int>(state.range(0));
    Database &db = serverArchive(records).db;
    ServerQuery s(name, records);
    const Times anchor = s.anchor();
    state.counters["file_us"] = medianMicros([&] { showList(archive(records).db, s.sql); }).wall;
    int rows = 0;
    measure(
        state, [&] { rows = showList(db, s.sql); }, anchor);
    state.counters["hits"] = rows;
}
BENCHMARK_CAPTURE(ServerResultList, tenth, QStringLiteral("tenth"))
    ->Apply(serverSizes)
    ->Unit(benchmark::kMillisecond);

} // namespace
