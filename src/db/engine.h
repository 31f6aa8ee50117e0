#pragma once

// Inside the db library only: what Database, Statement and Recordset ask of an engine.

#include "db/database.h"
#include "db/jet_sql.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zumen {

enum class ColumnKind { Integer, Double, Date, Text, Other };

struct RowShape {
    QStringList names;
    std::vector<ColumnKind> kinds;
};

// One prepared statement of an engine. Bindings stay until reset(), so a statement can run
// again with some of them changed.
class Cursor {
public:
    virtual ~Cursor() = default;
    virtual void bind(int index, const Variant &value) = 0;
    // Runs on the first call and moves to the next row; false at the end, when the cursor is
    // ready to run again. Throws DbError.
    virtual bool step() = 0;
    // Ends a run and drops the bindings: the cursor goes back to the connection's cache.
    virtual void reset() = 0;
    virtual int columnCount() const = 0;
    virtual Variant column(int i) const = 0;
    virtual std::int64_t columnInteger(int i) const = 0;
    // The current row's values; texts are appended to `bytes`.
    virtual void readRow(std::vector<RowCell> &cells, std::string &bytes) const = 0;
    // The result's column names and kinds, as the engine describes the prepared statement.
    virtual RowShape describe() const = 0;
};

// What the engine layer keeps for one open archive. Recordsets and statements point here, so
// the Database object itself may move.
class Connection {
public:
    virtual ~Connection() = default;

    Dialect dialect = Dialect::SQLite;
    QString path; // the file, or the connection string without a password
    std::unordered_map<std::string, std::vector<std::unique_ptr<Cursor>>> idle;
    // Result shapes by SQL text: reading 42 names and types cost more than the row.
    std::unordered_map<std::string, std::shared_ptr<const RowShape>> shapes;
    std::function<void()> onDamage;
    std::function<bool()> onProgress;
    int busyTimeoutMs = 5000;
    int savepoints = 0;
    std::optional<bool> readOnly; // a server role that may only read; asked once

    virtual bool isOpen() const = 0;
    // Prepares exactly one statement; `shown` is the text as the caller wrote it, for messages.
    // A search (`search`) is planned anew for its values on each run where the engine would
    // otherwise keep one plan for any values.
    virtual std::unique_ptr<Cursor> prepare(const std::string &sql, const QString &shown, bool search) = 0;
    // Runs one-off text (transaction control, schema changes) outside the statement cache.
    virtual void execute(const QString &sql) = 0;
    virtual bool inTransaction() const = 0;
    // Begins the outermost transaction, holding the archive's write lock from the start so that
    // a clash shows there and not half-way.
    virtual void beginWrite() = 0;
    // Cached statements are dropped first; statements still in use fail with 3420 afterwards.
    virtual void close() = 0;
};

// Opens a shared archive's server connection (db/pg_engine.cpp).
std::shared_ptr<Connection> connectPostgres(const QString &conninfo, const QString &origin,
                                            int busyTimeoutMs);

} // namespace zumen
