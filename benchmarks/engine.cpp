// The engine's answers the card asks for on every step: a record by its identifier, the next
// and previous record, a new identifier. Anchor: a prepared SELECT of one row by ID.
#include "support/bench.h"

#include "db/folders.h"

#include <QDir>

using namespace zumen;
using namespace zumen::bench;

namespace {

Times rowByIdAnchor(int records)
{
    Bare bare(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile));
    int id = 0;
    return medianMicros([&] { bare.run("SELECT * FROM DT WHERE ID=?", {id++ % records + 1}); });
}

// One step of the path on the store, from id.
void step(RecordStore &store, int path, std::int32_t &id, int records)
{
    switch (path) {
    case 0: {
        auto row = store.record(id);
        benchmark::DoNotOptimize(row);
        id = id % records + 1;
        break;
    }
    case 1:
        id = store.neighbour(id, true).value_or(1);
        break;
    case 2:
        id = store.neighbour(id, false).value_or(records);
        break;
    default:
        id = store.newRecordId();
    }
}

// Walks the table from its middle so that the cache holds what a user's session would.
void Engine(benchmark::State &state, int path)
{
    const int records = static_cast<int>(state.range(0));
    RecordStore &store = archive(records).records;
    const Times anchor = rowByIdAnchor(records);
    std::int32_t id = records / 2;
    measure(
        state, [&] { step(store, path, id, records); }, anchor);
}
BENCHMARK_CAPTURE(Engine, record_by_id, 0)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Engine, next, 1)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Engine, previous, 2)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Engine, new_id, 3)->Apply(sizes)->Unit(benchmark::kMicrosecond);

// The same steps on a shared archive over the server's local socket. Anchor: the prepared
// SELECT of one row by ID through libpq; file_us is the path on the file, measured in the same run.
void ServerEngine(benchmark::State &state, int path)
{
    const int records = static_cast<int>(state.range(0));
    RecordStore &store = serverArchive(records).records;
    BarePg bare(serverConnection(records));
    int anchorId = 0;
    const Times anchor =
        medianMicros([&] { bare.run("SELECT * FROM dt WHERE id=$1", {anchorId++ % records + 1}); });
    std::int32_t fileId = records / 2;
    state.counters["file_us"] =
        medianMicros([&] { step(archive(records).records, path, fileId, records); }).wall;
    std::int32_t id = records / 2;
    measure(
        state, [&] { step(store, path, id, records); }, anchor);
}
BENCHMARK_CAPTURE(ServerEngine, record_by_id, 0)->Apply(serverSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ServerEngine, next, 1)->Apply(serverSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ServerEngine, previous, 2)->Apply(serverSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ServerEngine, new_id, 3)->Apply(serverSizes)->Unit(benchmark::kMicrosecond);

} // namespace
