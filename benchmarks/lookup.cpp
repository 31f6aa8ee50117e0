// The lookup list over a folder where every drawing number matches ("-"): opening it, each
// ↓ (past the bottom row it pages), a search that matches nothing, and the memory it holds.
#include "support/bench.h"

#include "db/folders.h"
#include "lookup/help_frm.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>

#include <map>
#include <memory>

using namespace zumen;
using namespace zumen::bench;

namespace {

const QString Everything = QStringLiteral("-");

void key(Help_frm &list, Qt::Key k)
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(list.kana, &press);
}

Help_frm &lookup(int records)
{
    static std::map<int, std::unique_ptr<Help_frm>> made;
    if (made.empty())
        keepUntilEnd([] { made.clear(); });
    auto &list = made[records];
    if (!list) {
        list = std::make_unique<Help_frm>(archive(records).db);
        list->show();
    }
    return *list;
}

// Anchor: the first page of the same match from the bare file.
void LookupOpen(benchmark::State &state)
{
    const int records = static_cast<int>(state.range(0));
    Help_frm &list = lookup(records);
    Bare bare(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile));
    const Times anchor = medianMicros([&] { bare.run("SELECT * FROM DT WHERE Str1 LIKE '%-%' LIMIT 15"); });
    measure(
        state, [&] { list.Init(QStringLiteral("ZUBAN"), Everything, QString()); }, anchor);
}
BENCHMARK(LookupOpen)->Apply(sizes)->Unit(benchmark::kMillisecond);

// Anchor: one row by its identifier.
void LookupDown(benchmark::State &state)
{
    const int records = static_cast<int>(state.range(0));
    Help_frm &list = lookup(records);
    Bare bare(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile));
    int id = 0;
    const Times anchor = medianMicros([&] { bare.run("SELECT * FROM DT WHERE ID=?", {id++ % records + 1}); });
    list.Init(QStringLiteral("ZUBAN"), Everything, QString());
    int keys = 0;
    measure(
        state,
        [&] {
            key(list, Qt::Key_Down);
            list.repaint();
        },
        anchor,
        [&] {
            // Back to the top well before the end of the smallest folder.
            if (++keys == 5000) {
                list.Init(QStringLiteral("ZUBAN"), Everything, QString());
                keys = 0;
            }
        });
    state.counters["top"] = static_cast<double>(list.top());
}
BENCHMARK(LookupDown)->Apply(sizes)->Unit(benchmark::kMicrosecond);

// A drawing number a request asks for that no record has. Anchor: the bare scan for the same
// text. (A term of three letters is scanned: its last letter may carry a stored accent.)
void LookupNoMatch(benchmark::State &state)
{
    const int records = static_cast<int>(state.range(0));
    Help_frm &list = lookup(records);
    Bare bare(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile));
    const Times anchor =
        medianMicros([&] { bare.run("SELECT rowid FROM DT WHERE Str1 LIKE '%Z9-2023-000000%'"); });
    measure(
        state, [&] { list.Init(QStringLiteral("ZUBAN"), QStringLiteral("Z9-2023-000000"), QString()); },
        anchor);
}
BENCHMARK(LookupNoMatch)->Apply(sizes)->Unit(benchmark::kMillisecond);

// The peak resident memory while the list opens over every record and pages down through
// a thousand rows, above what the process held before.
void LookupMemory(benchmark::State &state)
{
    const int records = static_cast<int>(state.range(0));
    Help_frm &list = lookup(records);
    list.Init(QStringLiteral("ZUBAN"), QStringLiteral("ZZZ"), QString());
    double above = 0;
    for (auto _ : state) {
        resetPeak();
        const double idle = statusBytes("VmRSS:");
        list.Init(QStringLiteral("ZUBAN"), Everything, QString());
        for (int i = 0; i < 1000; ++i)
            key(list, Qt::Key_Down);
        above = statusBytes("VmHWM:") - idle;
    }
    state.counters["peak_rss_above_idle_MB"] = above / (1024 * 1024);
}
BENCHMARK(LookupMemory)->Apply(sizes)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
