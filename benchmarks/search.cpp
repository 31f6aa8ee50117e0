// What a search with a hundred thousand hits costs the result list: opening it (the query's
// keys and the first screen of rows) and scrolling it a screen at a time.
#include "db/schema.h"
#include "search/srchlist_frm.h"
#include "shell/desk.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace zumen;

namespace {

const QString HundredThousandHits = QStringLiteral("SELECT * FROM DT WHERE Str1 like 'X*' ");

struct Fixture {
    QTemporaryDir dir;
    Desk desk;
    Fixture() : desk(Database::create(dir.filePath(QStringLiteral("QV.MDB"))))
    {
        Schema::create(desk.db);
        desk.db.executeNative(
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120000) "
                           "INSERT INTO DT (ID, Namae, Str1, Text1) SELECT i, 'name ' || i, "
                           "CASE WHEN i <= 100000 THEN 'X' ELSE 'Y' END || i, 'memo' FROM n"));
    }
};

Desk &desk()
{
    static Fixture f;
    return f.desk;
}

void OpenHundredThousandHits(benchmark::State &state)
{
    for (auto _ : state) {
        SrchList_frm list;
        list.fill(desk().db.openRecordset(HundredThousandHits));
        list.show();
        benchmark::DoNotOptimize(list.List->viewport()->grab());
    }
}
BENCHMARK(OpenHundredThousandHits)->Unit(benchmark::kMillisecond);

void ScrollHundredThousandHits(benchmark::State &state)
{
    SrchList_frm list;
    list.fill(desk().db.openRecordset(HundredThousandHits));
    list.show();
    QScrollBar *bar = list.List->verticalScrollBar();
    for (auto _ : state) {
        bar->setValue(bar->value() < bar->maximum() ? bar->value() + bar->pageStep() : 0);
        benchmark::DoNotOptimize(list.List->viewport()->grab());
    }
    state.counters["rows"] = static_cast<double>(list.rowCount() - 1);
}
BENCHMARK(ScrollHundredThousandHits)->Unit(benchmark::kMicrosecond);

} // namespace
