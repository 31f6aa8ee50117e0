#pragma once

// What the benchmarks share: the generated working folders, a bare SQLite connection for the
// anchors, and the loop that reports a path's median beside its anchor's.
#include "db/archive.h"
#include "text/variant.h"

#include <QString>

#include <benchmark/benchmark.h>

#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct pg_conn;

namespace zumen {
struct Desk;
}

namespace zumen::bench {

// Every path is measured on 10k, 100k and 1M records: ->Apply(sizes). range(0) is the size.
void sizes(benchmark::internal::Benchmark *b);

// The working folder with this many generated records (seed 1), made on first use in the data
// folder (ZUMEN_BENCH_DATA, by default bench-data in the build folder) and reused after:
// empty that folder when the generator changes.
QString folder(int records);
// A copy of that folder's QV.MDB with what the best bare query needs: indexes on Date1 and
// Val1 and a trigram full-text table Memo over Text1. Made on first use too.
QString anchorFile(int records);
// The folder's database with its stores, opened once per size.
Archive &archive(int records);
// The same archive on a PostgreSQL server over its local socket: ZUMEN_BENCH_PG is the
// connection string of a role that may create databases (scripts/pg-cluster.sh start prints
// one). Database zumen_bench_N is copied from folder(records) by migrate on first use and kept;
// drop it when the generator changes. Throws when ZUMEN_BENCH_PG is not set.
QString serverConnection(int records);
Archive &serverArchive(int records);
// The server benchmarks are measured at a million records only: ->Apply(serverSizes).
void serverSizes(benchmark::internal::Benchmark *b);
// A desk started in the folder as the program starts it (the current folder is left there),
// once per size.
Desk &desk(int records);

// The real-size scans shared by the team (ZUMEN_FIXTURES, by default the shared fixtures folder
// beside the repository): an A1 400 dpi Group 4 TIFF and an A3 grey JPEG. A benchmark skips
// what is not there.
QString fixture(const char *name);
inline const char *const A1Fixture = "a1_400dpi_g4.tif";
inline const char *const A3Fixture = "a3_300dpi_gray.jpg";

// Windows and files kept from one benchmark to the next are let go by releaseKept, which
// main calls while the QApplication still stands.
void keepUntilEnd(std::function<void()> release);
void releaseKept();

// A plain connection to a file, for the operation the path is compared with.
class Bare {
public:
    explicit Bare(const QString &path);
    ~Bare();
    Bare(const Bare &) = delete;
    Bare &operator=(const Bare &) = delete;
    // Runs the statement (prepared once) with the values bound and reads every column of
    // every row; gives the number of rows.
    long long run(const char *sql, const QList<Variant> &values = {});

private:
    sqlite3 *m_db = nullptr;
    std::vector<std::pair<const char *, sqlite3_stmt *>> m_statements;
};

// A plain libpq connection to the server archive, for the operation the path is compared with.
class BarePg {
public:
    explicit BarePg(const QString &conninfo);
    ~BarePg();
    BarePg(const BarePg &) = delete;
    BarePg &operator=(const BarePg &) = delete;
    // Runs the statement (prepared once, $N marks) with the values sent as text and reads every
    // value of every row; gives the number of rows.
    long long run(const char *sql, const QList<Variant> &values = {});

private:
    pg_conn *m_conn = nullptr;
    std::vector<const char *> m_prepared;
};

// Median times in microseconds: on the clock, and the calling thread's CPU time (the machine
// is shared: with other work running the clock time grows, the CPU time hardly).
struct Times {
    double wall = 0;
    double cpu = 0;
};

// The middle of the samples (the upper one of an even count); 0 for none.
double median(std::vector<double> samples);

// The medians of op over enough runs to settle (at least three); after, when given, runs
// untimed after each.
Times medianMicros(const std::function<void()> &op, const std::function<void()> &after = {});

// The benchmark loop over op, timing each run; reports median_us and cpu_us, and with an
// anchor (measured in the same run) anchor_us, anchor_cpu_us and the ratios x_anchor and
// x_anchor_cpu. after, when given, runs untimed after each op.
void measure(benchmark::State &state, const std::function<void()> &op, Times anchor = {},
             const std::function<void()> &after = {});

// A figure of this process from /proc/self/status ("VmRSS:", "VmHWM:"), in bytes.
double statusBytes(const char *field);
// Starts a new peak for VmHWM; false where the system does not let it.
bool resetPeak();

} // namespace zumen::bench
