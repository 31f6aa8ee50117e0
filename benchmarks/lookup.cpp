// What the lookup list costs over a million matching records: opening it (the query's keys,
// the count and the first page) and each paging key.
#include "db/database.h"
#include "db/schema.h"
#include "lookup/help_frm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace zumen;

namespace {

constexpr int Records = 1000000;

struct Fixture {
    QTemporaryDir dir;
    Database db;
    Fixture() : db(Database::create(dir.filePath(QStringLiteral("QV.MDB"))))
    {
        Schema::create(db);
        db.executeNative(
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                           "INSERT INTO DT (ID, Namae, Str1, Str2, Text1) SELECT i, 'name ' || i, "
                           "'DWG-' || i, 'product ' || i, 'memo ' || i FROM n")
                .arg(Records));
    }
};

Database &db()
{
    static Fixture f;
    return f.db;
}

void key(Help_frm &list, Qt::Key k)
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(list.kana, &press);
}

void OpenMillion(benchmark::State &state)
{
    Help_frm list(db());
    list.show();
    for (auto _ : state) {
        list.Init(QStringLiteral("ZUBAN"), QStringLiteral("DWG"), QString());
        benchmark::DoNotOptimize(list.hCode[0]->text());
    }
    state.counters["count"] = static_cast<double>(list.count());
}
BENCHMARK(OpenMillion)->Unit(benchmark::kMillisecond);

// The query alone, to see how much of opening the engine's scan takes.
void QueryMillion(benchmark::State &state)
{
    for (auto _ : state) {
        Recordset rs = db().openRecordset(QStringLiteral("SELECT * FROM DT WHERE Str1 LIKE '*DWG*'"));
        benchmark::DoNotOptimize(rs.recordCount());
    }
}
BENCHMARK(QueryMillion)->Unit(benchmark::kMillisecond);

void PagingKey(benchmark::State &state, Qt::Key k, bool atLastRow)
{
    Help_frm list(db());
    list.show();
    list.Init(QStringLiteral("ZUBAN"), QStringLiteral("DWG"), QString());
    if (atLastRow) {
        for (int i = 0; i < Help_frm::Rows - 1; ++i)
            key(list, Qt::Key_Down);
    }
    // Start in the middle so that every key moves the page.
    for (int i = 0; i < 30000; ++i)
        key(list, Qt::Key_PageDown);
    for (auto _ : state) {
        key(list, k);
        list.repaint();
    }
    state.counters["top"] = static_cast<double>(list.top());
}
BENCHMARK_CAPTURE(PagingKey, PageDown, Qt::Key_PageDown, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PagingKey, DownAtRow14, Qt::Key_Down, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PagingKey, PageUp, Qt::Key_PageUp, false)->Unit(benchmark::kMicrosecond);

} // namespace
