// Searching text anywhere at 10k, 100k and 1M records: 部分一致 (three characters or more, one
// or two, half-width kana), 含む on a memo and the lookup list with no match, each beside the
// bare FTS5 trigram query on the same file. Also the one-time cost of indexing a file made before
// the index, and what the index adds to the file.
#include "db/database.h"
#include "db/schema.h"
#include "db/text_index.h"
#include "lookup/help_frm.h"

#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

using namespace zumen;

namespace {

// Memos are cut from this text at a different place for each record: about 420 bytes each.
const QString MemoSource = [] {
    const char16_t *phrases[] = {u"溶接部の仕上げは図示による。", u"材質SS400、表面処理は黒染め。",
                                 u"組立後に寸法を確認すること。", u"ボルト穴はM12、座ぐり深さ13。",
                                 u"面取りC1、指示なき角はR0.5。", u"客先承認済み(2023/04/12)。",
                                 u"板厚変更につき改訂。",         u"塗装はメラミン焼付、色はN7。",
                                 u"熱処理後に研磨仕上げ。",       u"ｷｰ溝はJIS B 1301による。"};
    QString text;
    for (int round = 0; round < 12; ++round) {
        for (int i = 0; i < 10; ++i)
            text += QString::fromUtf16(phrases[(i * 7 + round * 3) % 10]);
    }
    return text;
}();

struct Folder {
    QTemporaryDir dir;
    Database db;
    qint64 bytesBefore = 0;
    qint64 bytesAfter = 0;
    double indexingSeconds = 0;

    explicit Folder(int records) : db(Database::create(dir.filePath(QStringLiteral("QV.MDB"))))
    {
        // A file as it was before the index: then the index added as at the first opening.
        for (const QString &sql : Schema::createStatements())
            db.executeNative(sql);
        Transaction t(db);
        Statement insert = db.prepare(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?1), "
            "names(k, name) AS (VALUES (0, 'プレート'), (1, 'ﾌﾟﾚｰﾄ'), (2, 'ブラケット'), (3, 'シャフト'), "
            "(4, 'ギヤボックス'), (5, 'フランジ'), (6, 'カバー'), (7, '軸受ハウジング'), (8, 'センサー台'), "
            "(9, '取付金具'), (10, 'ベースプレート'), (11, 'ｽﾍﾟｰｻｰ'), (12, 'アーム'), (13, 'ローラー'), "
            "(14, '架台'), (15, 'ステー'), (16, 'ホルダー'), (17, 'ガイド'), (18, 'ピン'), (19, 'リンク')) "
            "INSERT INTO DT (ID, Namae, Str1, Str2, Date1, Val1, Text1) "
            "SELECT i, '図面' || i, printf('A%d-%d-%06d', i % 5, 2000 + i % 24, i), "
            "(SELECT name FROM names WHERE k = i % 20) || '-' || (i % 1000), "
            "date('2000-01-01', '+' || (i % 8000) || ' days'), i % 10000, "
            "CASE WHEN i % 4 = 0 THEN substr(?2, 1 + (i * 37) % 600, 140) END FROM n"));
        insert.bind(1, records);
        insert.bind(2, MemoSource);
        insert.run();
        t.commit();
        bytesBefore = QFileInfo(db.path()).size();
        const auto start = std::chrono::steady_clock::now();
        TextIndex::ensure(db);
        indexingSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bytesAfter = QFileInfo(db.path()).size();
    }
};

Folder &folder(int records)
{
    static std::map<int, std::unique_ptr<Folder>> folders;
    auto &f = folders[records];
    if (!f) {
        folders.clear(); // one large file on the disk at a time
        auto &made = folders[records];
        made = std::make_unique<Folder>(records);
        return *made;
    }
    return *f;
}

void sizes(benchmark::State &state, const Folder &f)
{
    state.counters["file_MB"] = static_cast<double>(f.bytesAfter) / 1e6;
    state.counters["index_MB"] = static_cast<double>(f.bytesAfter - f.bytesBefore) / 1e6;
    state.counters["indexing_s"] = f.indexingSeconds;
}

// What the search window waits for: the query's keys, every one of them counted.
void Search(benchmark::State &state, const char *where)
{
    Folder &f = folder(static_cast<int>(state.range(0)));
    long long hits = 0;
    for (auto _ : state) {
        Recordset rs =
            f.db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ") + QString::fromUtf8(where));
        hits = rs.recordCount();
    }
    state.counters["hits"] = static_cast<double>(hits);
    sizes(state, f);
}

// The anchor: the FTS5 table asked directly, its rowids read.
void Anchor(benchmark::State &state, const char *sql)
{
    Folder &f = folder(static_cast<int>(state.range(0)));
    long long hits = 0;
    for (auto _ : state) {
        Statement s = f.db.prepare(QString::fromUtf8(sql));
        hits = 0;
        while (s.step())
            ++hits;
    }
    state.counters["hits"] = static_cast<double>(hits);
}

void LookupNoMatch(benchmark::State &state)
{
    Folder &f = folder(static_cast<int>(state.range(0)));
    Help_frm list(f.db);
    for (auto _ : state) {
        list.Init(QStringLiteral("ZUBAN"), QStringLiteral("ZZ-9"), QString());
        benchmark::DoNotOptimize(list.hCode[0]->text());
    }
}

// Grouped by size so that each file is made once: every row at 10k, then at 100k, then at 1M.
void registerAll()
{
    for (const int n : {10000, 100000, 1000000}) {
        auto add = [n](const char *name, auto fn, const char *text) {
            benchmark::RegisterBenchmark(name, fn, text)->Arg(n)->Unit(benchmark::kMillisecond);
        };
        add("PartialMatch/3chars", Search, "PartialMatch(Str1, '4512')");
        add("PartialMatch/3chars/anchor", Anchor, "SELECT rowid FROM DT_Text WHERE Str1 LIKE '%4512%'");
        add("PartialMatch/2chars", Search, "PartialMatch(Str2, 'ｾﾝ')");
        // Two characters: the index's folded text scanned; beside it the plain scan of DT's raw text.
        add("PartialMatch/2chars/anchor", Anchor, "SELECT id FROM DT_Text_content WHERE c1 LIKE '%セン%'");
        add("PartialMatch/2chars/rawscan", Anchor, "SELECT rowid FROM DT WHERE Str2 LIKE '%セン%'");
        add("PartialMatch/halfwidth", Search, "PartialMatch(Str2, 'ﾌﾟﾚｰﾄ-12')");
        add("PartialMatch/halfwidth/anchor", Anchor,
            "SELECT rowid FROM DT_Text WHERE Str2 LIKE '%プレート-12%'");
        add("MemoContains/weld", Search, "Text1 LIKE '*溶接部*'");
        add("MemoContains/weld/anchor", Anchor, "SELECT rowid FROM DT_Text WHERE Text1 LIKE '%溶接部%'");
        // No memo holds these two phrases one after the other.
        add("MemoContains/nomatch", Search, "Text1 LIKE '*承認済み(2023/04/12)。板厚*'");
        add("MemoContains/nomatch/anchor", Anchor,
            "SELECT rowid FROM DT_Text WHERE Text1 LIKE '%承認済み(2023/04/12)。板厚%'");
        benchmark::RegisterBenchmark("Lookup/nomatch", LookupNoMatch)->Arg(n)->Unit(benchmark::kMillisecond);
        add("Lookup/nomatch/anchor", Anchor, "SELECT rowid FROM DT_Text WHERE Str1 LIKE '%zz-9%'");
        // Before the index: the scan the same LIKE took.
        add("MemoContains/weld/scan", Anchor, "SELECT rowid FROM DT WHERE Text1 LIKE '%溶接部%'");
    }
}

const bool registered = (registerAll(), true);

} // namespace
