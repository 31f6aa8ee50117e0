// What the user waits for on the desk: each 次へ/前へ on the record card with the viewer
// showing the record's page (the time until the call returns to the event loop), and start-up
// until both windows are shown.
#include "support/bench.h"

#include "card/info_frm.h"
#include "db/folders.h"
#include "shell/desk.h"
#include "shell/startup.h"
#include "tools/working_folder.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <stdexcept>

using namespace zumen;
using namespace zumen::bench;

namespace {

// Steps through a thousand records from the middle of the table, none of them with the one
// A1 sheet (on every thousandth record): the decoding of that page is measured on its own.
void CardStep(benchmark::State &state, bool next)
{
    const int records = static_cast<int>(state.range(0));
    Desk &d = desk(records);
    Bare bare(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile));
    int id = records / 2;
    const Times anchor = medianMicros([&] { bare.run("SELECT * FROM DT WHERE ID=?", {id++ % records + 1}); });
    const int first = records / 2 + 1, last = records / 2 + 999;
    d.card->Display(next ? first : last);
    int steps = 0;
    measure(
        state,
        [&] {
            if (++steps == 998) {
                state.PauseTiming();
                d.card->Display(next ? first : last);
                steps = 0;
                state.ResumeTiming();
            }
            next ? d.card->GoNext() : d.card->GoPrevious();
        },
        anchor);
}
BENCHMARK_CAPTURE(CardStep, next, true)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CardStep, previous, false)->Apply(sizes)->Unit(benchmark::kMicrosecond);

std::unique_ptr<Desk> start()
{
    std::unique_ptr<Desk> d =
        StartDesk([](const QString &, const QString &text) { throw std::runtime_error(text.toStdString()); });
    if (!d)
        throw std::runtime_error("start-up failed");
    return d;
}

// Anchors: SQLite's quick structural check of the file, and start-up on an empty folder.
void Startup(benchmark::State &state)
{
    const int records = static_cast<int>(state.range(0));
    QTemporaryDir empty;
    WorkingFolder::init(empty.path());
    QDir::setCurrent(empty.path());
    std::unique_ptr<Desk> d;
    const auto up = [&] {
        d = start();
        QApplication::processEvents();
    };
    const auto down = [&] { d.reset(); };
    const Times emptyStart = medianMicros(up, down);

    const QString path = folder(records);
    Bare bare(QDir(path).filePath(WorkingFolder::DatabaseFile));
    const Times anchor = medianMicros([&] { bare.run("PRAGMA quick_check"); });
    QDir::setCurrent(path);
    measure(state, up, anchor, down);
    state.counters["empty_folder_us"] = emptyStart.wall;
    state.counters["empty_folder_cpu_us"] = emptyStart.cpu;
}
BENCHMARK(Startup)->Apply(sizes)->Unit(benchmark::kMillisecond);

} // namespace
