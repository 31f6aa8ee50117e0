#include "support/bench.h"

#include "db/folders.h"
#include "shell/desk.h"
#include "shell/startup.h"
#include "tools/generate.h"
#include "tools/shared_archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

#include <time.h>

namespace zumen::bench {
namespace {

using Clock = std::chrono::steady_clock;

double microsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double cpuMicros()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// Times one run of op into the samples.
struct Samples {
    std::vector<double> wall, cpu;
    void time(const std::function<void()> &op)
    {
        const double c = cpuMicros();
        const Clock::time_point t = Clock::now();
        op();
        wall.push_back(microsSince(t));
        cpu.push_back(cpuMicros() - c);
    }
    Times medians() const;
};

QDir dataFolder()
{
    const QString path = qEnvironmentVariableIsEmpty("ZUMEN_BENCH_DATA")
                             ? QStringLiteral(ZUMEN_BENCH_DATA_DEFAULT)
                             : qEnvironmentVariable("ZUMEN_BENCH_DATA");
    QDir().mkpath(path);
    return QDir(path);
}

void note(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void exec(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
}

Times Samples::medians() const
{
    return {median(wall), median(cpu)};
}

} // namespace

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgName("records")->Arg(10000)->Arg(100000)->Arg(1000000);
}

QString folder(int records)
{
    QDir data = dataFolder();
    const QString done = data.filePath(QStringLiteral("records-%1").arg(records));
    if (QFileInfo::exists(QDir(done).filePath(WorkingFolder::DatabaseFile)))
        return done;
    // Made under a name of its own: an interrupted run never leaves a folder that looks whole.
    const QString making = done + QStringLiteral(".part");
    QDir(making).removeRecursively();
    QDir(done).removeRecursively();
    note(QStringLiteral("generating %1 records in %2 (once)").arg(records).arg(done));
    WorkingFolder::generate(making, records, 1);
    if (!data.rename(QFileInfo(making).fileName(), QFileInfo(done).fileName()))
        throw std::runtime_error("cannot rename the generated folder");
    return done;
}

QString anchorFile(int records)
{
    const QString done = dataFolder().filePath(QStringLiteral("records-%1-anchor.db").arg(records));
    if (QFileInfo::exists(done))
        return done;
    const QString making = done + QStringLiteral(".part");
    QFile::remove(making);
    note(QStringLiteral("indexing a copy for the anchors in %1 (once)").arg(done));
    if (!QFile::copy(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile), making))
        throw std::runtime_error("cannot copy the database for the anchors");
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(making).constData(), &db);
    try {
        exec(db, "PRAGMA cache_size = -262144; BEGIN;"
                 "CREATE INDEX Anchor_Date1 ON DT (Date1); CREATE INDEX Anchor_Val1 ON DT (Val1);"
                 "CREATE VIRTUAL TABLE Memo USING fts5(Text1, content='DT', content_rowid='ID', "
                 "tokenize='trigram');"
                 "INSERT INTO Memo (Memo) VALUES ('rebuild'); COMMIT;");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    QFile::rename(making, done);
    return done;
}

std::vector<std::function<void()>> &kept()
{
    static std::vector<std::function<void()>> releases;
    return releases;
}

void keepUntilEnd(std::function<void()> release)
{
    kept().push_back(std::move(release));
}

void releaseKept()
{
    // The last kept goes first: a window goes before the database it reads.
    while (!kept().empty()) {
        const std::function<void()> release = std::move(kept().back());
        kept().pop_back();
        release();
    }
}

Archive &archive(int records)
{
    static std::map<int, std::unique_ptr<Archive>> open;
    if (open.empty())
        keepUntilEnd([] { open.clear(); });
    auto &a = open[records];
    if (!a)
        a = std::make_unique<Archive>(
            Database::open(QDir(folder(records)).filePath(WorkingFolder::DatabaseFile)));
    return *a;
}

void serverSizes(benchmark::internal::Benchmark *b)
{
    b->Arg(1000000);
}

QString serverConnection(int records)
{
    const QString admin = qEnvironmentVariable("ZUMEN_BENCH_PG");
    if (admin.isEmpty())
        throw std::runtime_error("ZUMEN_BENCH_PG is not set: see README, Benchmarks");
    const QString name = QStringLiteral("zumen_bench_%1").arg(records);
    // A later keyword overrides an earlier one in a libpq connection string.
    const QString conninfo = admin + QStringLiteral(" dbname=") + name;
    Database server = Database::connect(admin);
    Statement exists = server.prepare(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?1"));
    exists.bind(1, name);
    if (exists.step()) {
        exists.run();
        Database made = Database::connect(conninfo);
        Statement count = made.prepare(QStringLiteral("SELECT count(*) FROM DT"));
        if (Schema::version(made) == Schema::CurrentVersion && count.step() &&
            count.columnInteger(0) == records)
            return conninfo;
    }
    note(QStringLiteral("copying %1 records into the server database %2 (once)").arg(records).arg(name));
    const QString source = folder(records);
    server.executeNative(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
    server.executeNative(
        QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' "
                       "LC_CTYPE 'C.UTF-8'")
            .arg(name));
    Database target = Database::connect(conninfo);
    SharedArchive::migrate(source, target);
    // Statistics for the planner, as autovacuum would gather them on a server that runs a while.
    target.executeNative(QStringLiteral("ANALYZE"));
    return conninfo;
}

Archive &serverArchive(int records)
{
    static std::map<int, std::unique_ptr<Archive>> open;
    if (open.empty())
        keepUntilEnd([] { open.clear(); });
    auto &a = open[records];
    if (!a)
        a = std::make_unique<Archive>(Database::connect(serverConnection(records)));
    return *a;
}

Desk &desk(int records)
{
    static std::map<int, std::unique_ptr<Desk>> started;
    if (started.empty())
        keepUntilEnd([] { started.clear(); });
    QDir::setCurrent(folder(records));
    auto &d = started[records];
    if (!d) {
        d = StartDesk(
            [](const QString &, const QString &text) { throw std::runtime_error(text.toStdString()); });
        d->endProgram = [] {};
    }
    return *d;
}

BarePg::BarePg(const QString &conninfo) : m_conn(PQconnectdb(conninfo.toUtf8().constData()))
{
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(m_conn));
}

BarePg::~BarePg()
{
    PQfinish(m_conn);
}

long long BarePg::run(const char *sql, const QList<Variant> &values)
{
    auto it = std::find_if(m_prepared.begin(), m_prepared.end(),
                           [&](const char *s) { return std::strcmp(s, sql) == 0; });
    const std::string name = "b" + std::to_string(it - m_prepared.begin());
    if (it == m_prepared.end()) {
        PGresult *prepared = PQprepare(m_conn, name.c_str(), sql, 0, nullptr);
        const bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
        PQclear(prepared);
        if (!ok)
            throw std::runtime_error(PQerrorMessage(m_conn));
        m_prepared.push_back(sql);
    }
    std::vector<std::string> texts;
    for (const Variant &v : values)
        texts.push_back(v.toString().toStdString());
    std::vector<const char *> params;
    for (const std::string &t : texts)
        params.push_back(t.c_str());
    PGresult *r = PQexecPrepared(m_conn, name.c_str(), static_cast<int>(params.size()), params.data(),
                                 nullptr, nullptr, 0);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        PQclear(r);
        throw std::runtime_error(PQerrorMessage(m_conn));
    }
    const int rows = PQntuples(r), columns = PQnfields(r);
    std::size_t bytes = 0;
    for (int row = 0; row < rows; ++row) {
        for (int c = 0; c < columns; ++c)
            bytes += std::strlen(PQgetvalue(r, row, c));
    }
    benchmark::DoNotOptimize(bytes);
    PQclear(r);
    return rows;
}

Bare::Bare(const QString &path)
{
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error("cannot open " + path.toStdString());
}

Bare::~Bare()
{
    for (auto &[sql, statement] : m_statements)
        sqlite3_finalize(statement);
    sqlite3_close(m_db);
}

long long Bare::run(const char *sql, const QList<Variant> &values)
{
    auto it = std::find_if(m_statements.begin(), m_statements.end(),
                           [&](const auto &s) { return std::strcmp(s.first, sql) == 0; });
    if (it == m_statements.end()) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        it = m_statements.insert(m_statements.end(), {sql, statement});
    }
    sqlite3_stmt *s = it->second;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const int at = static_cast<int>(i + 1);
        if (values[i].isInteger())
            sqlite3_bind_int64(s, at, values[i].toInteger());
        else if (values[i].isDouble())
            sqlite3_bind_double(s, at, values[i].toDouble());
        else
            sqlite3_bind_text(s, at, values[i].toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
    }
    long long rows = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        ++rows;
        for (int c = 0; c < sqlite3_column_count(s); ++c)
            benchmark::DoNotOptimize(sqlite3_column_text(s, c));
    }
    sqlite3_reset(s);
    return rows;
}

Times medianMicros(const std::function<void()> &op, const std::function<void()> &after)
{
    Samples samples;
    const Clock::time_point start = Clock::now();
    // The first run warms the caches and does not count.
    for (int runs = 0; runs < 4 || (microsSince(start) < 200000 && runs < 2000); ++runs) {
        if (runs == 0)
            op();
        else
            samples.time(op);
        if (after)
            after();
    }
    return samples.medians();
}

void measure(benchmark::State &state, const std::function<void()> &op, Times anchor,
             const std::function<void()> &after)
{
    Samples samples;
    for (auto _ : state) {
        samples.time(op);
        if (after) {
            state.PauseTiming();
            after();
            state.ResumeTiming();
        }
    }
    const Times m = samples.medians();
    state.counters["median_us"] = m.wall;
    state.counters["cpu_us"] = m.cpu;
    if (anchor.wall > 0) {
        state.counters["anchor_us"] = anchor.wall;
        state.counters["anchor_cpu_us"] = anchor.cpu;
        state.counters["x_anchor"] = m.wall / anchor.wall;
        state.counters["x_anchor_cpu"] = anchor.cpu > 0 ? m.cpu / anchor.cpu : 0;
    }
}

double statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                       .trimmed()
                       .split(' ')
                       .value(0)
                       .toDouble() *
                   1024;
    return 0;
}

bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

QString fixture(const char *name)
{
    return qEnvironmentVariable("ZUMEN_FIXTURES", QStringLiteral(ZUMEN_FIXTURES_DEFAULT)) + u'/' +
           QString::fromLatin1(name);
}

} // namespace zumen::bench
