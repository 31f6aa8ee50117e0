// How fast the engine layer serves the record card's steady diet: the neighbour of a record
// by ID, one record by ID, and a prefix search over a large table.
#include "db/database.h"
#include "db/schema.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace zumen;

namespace {

struct Desk {
    QTemporaryDir dir;
    Database db;
    explicit Desk(int records) : db(Database::create(dir.filePath(QStringLiteral("QV.MDB"))))
    {
        Schema::create(db);
        db.executeNative(
            QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO DT (ID, Namae, Str1, Str2, Date1, Val1, Text1) SELECT i, 'name ' || i, "
                "printf('A%d-%06d', i % 9, i), 'part ' || (i % 1000), '2001-03-05', i, 'memo' FROM n")
                .arg(records));
    }
};

Desk &desk()
{
    static Desk d(200000);
    return d;
}

void NextRecordById(benchmark::State &state)
{
    Database &db = desk().db;
    long long id = 1000;
    for (auto _ : state) {
        Recordset rs = db.openRecordset(QStringLiteral("SELECT TOP 1 * FROM DT WHERE ID>") +
                                        QString::number(id) + QStringLiteral(" ORDER BY ID"));
        benchmark::DoNotOptimize(rs.field(QStringLiteral("Namae")));
        id = id % 150000 + 1;
    }
}
BENCHMARK(NextRecordById);

void RecordById(benchmark::State &state)
{
    Database &db = desk().db;
    for (auto _ : state) {
        Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID=4321"));
        benchmark::DoNotOptimize(rs.field(QStringLiteral("Str1")));
    }
}
BENCHMARK(RecordById);

void PrefixSearchCount(benchmark::State &state)
{
    Database &db = desk().db;
    for (auto _ : state) {
        Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE Str1 like 'A3*' "));
        rs.moveLast();
        benchmark::DoNotOptimize(rs.recordCount());
    }
}
BENCHMARK(PrefixSearchCount)->Unit(benchmark::kMillisecond);

void ContainsSearchCount(benchmark::State &state)
{
    Database &db = desk().db;
    for (auto _ : state) {
        Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE Str2 LIKE '*art 12*'"));
        rs.moveLast();
        benchmark::DoNotOptimize(rs.recordCount());
    }
}
BENCHMARK(ContainsSearchCount)->Unit(benchmark::kMillisecond);

} // namespace
