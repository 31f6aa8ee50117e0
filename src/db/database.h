#pragma once

#include "db/jet_sql.h"
#include "text/variant.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zumen {

class Connection;
class Recordset;
struct RowShape; // a result's column names and how each column's values are read and written

class Cursor;

// A value of a row as an engine gave it, read into Recordset's buffer: converted only when
// the field is asked for.
struct RowCell {
    enum class Type { Null, Integer, Real, Text } type = Type::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::size_t offset = 0, size = 0; // a text's bytes in the buffer
};

// A prepared statement borrowed from the connection's cache; it goes back (reset, bindings
// cleared) when the Statement is destroyed. Move-only.
class Statement {
public:
    Statement(std::shared_ptr<Connection> connection, std::string sql, std::unique_ptr<Cursor> cursor);
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement();

    void bind(int index, const Variant &value);
    // Binds the values to ?1, ?2 … in order.
    void bindAll(const QList<Variant> &values);
    // Steps once; true while a row stands, false (and ready to run again) at the end.
    // Throws DbError on failure.
    bool step();
    // Runs to completion.
    void run();
    int columnCount() const;
    // The result's column names, worked out once per SQL text.
    QStringList columnNames() const;
    Variant column(int i) const;
    // The column as callers read it, by its declared type: a date stored as text as a date, a
    // whole number in a floating-point column as a double.
    Variant typedColumn(int i) const;
    std::int64_t columnInteger(int i) const;

private:
    friend class Recordset;
    void release();
    const RowShape &shape() const;

    std::shared_ptr<Connection> m_connection;
    std::string m_sql;
    std::unique_ptr<Cursor> m_cursor;
    mutable std::shared_ptr<const RowShape> m_shape;
};

// The one open archive: the working folder's database file, opened read-write with a rollback
// journal and synchronous writes, or a shared archive on a PostgreSQL server.
class Database {
public:
    // Opens an existing file; throws DbError (3024 missing, 3051 no permission,
    // 3343 not a database or damaged, 3260 locked). A lock held by another program is
    // waited for up to busyTimeoutMs, long enough for a backup tool reading the file.
    static Database open(const QString &path, int busyTimeoutMs = 5000);
    // Creates a new empty file; refuses an existing one.
    static Database create(const QString &path);
    // Connects to a shared archive's server with a libpq connection string or "service=…";
    // origin names where the string came from, for messages. Throws DbError (3151 refused or
    // lost, 3029 authentication failed, 3024 no such database). A password is never kept in
    // path() or in a message.
    static Database connect(const QString &conninfo, const QString &origin = {}, int busyTimeoutMs = 5000);

    Database(Database &&) noexcept;
    Database &operator=(Database &&) noexcept;
    ~Database();

    // Runs a full structural check; throws 3343 when the file is damaged.
    void verifyIntegrity();
    // Called whenever the engine finds the file damaged, just before it throws 3343 to the
    // operation that found it: the owner can then offer the repair.
    void setDamageHandler(std::function<void()> handler);
    // Called about every `ops` steps of the engine while a statement runs, so that the owner can
    // keep its windows alive through a long one (an index built over a large file); returning
    // false interrupts the statement. An empty handler removes it.
    void setProgressHandler(std::function<bool()> handler, int ops = 10000);
    // Runs a statement in the file engine's dialect ("DELETE FROM Desgn").
    void execute(const QString &jetSql);
    // Runs the engine's own text as it stands: schema set-up and maintenance only.
    void executeNative(const QString &sql);
    // Opens an updatable, keyset-driven result on a SELECT in the file engine's dialect.
    Recordset openRecordset(const QString &jetSql);
    // Prepares (or takes from the cache) text in the engine's own dialect; on a server, SQLite's
    // "?N" marks, unquoted names and "SELECT * FROM table" are understood as on the file.
    Statement prepare(const QString &sql);
    // Writes everything out and closes the file; the object is unusable afterwards.
    void close();
    bool isOpen() const;
    QString path() const;
    Dialect dialect() const;
    // Whether this connection may only read: a shared archive's reading role.
    bool readOnly();
    // Throws DbError 3033 on a connection that may only read: called where an entry starts, so
    // that nothing is typed only to be refused at the save.
    void refuseChanges();
    // The file engine's handle; null on a shared archive.
    sqlite3 *handle() const;
    Connection *connection() const { return m_connection.get(); }

private:
    explicit Database(std::shared_ptr<Connection> connection);
    // Whether SQLite's plan for the key query finds its rows through an index.
    bool indexAnswers(const QString &keySql, const QList<Variant> &params);
    // Shared with the recordsets and statements taken from it: one that outlives a close
    // reports 3420 instead of touching a closed file.
    std::shared_ptr<Connection> m_connection;
    friend class Transaction;
};

// When a connection of this program last waited for a lock on its file (a steady clock in
// milliseconds, 0 before any wait).
std::int64_t lastLockWait();

// While it lives, a connection reading in a thread of its own gives way to this program's
// writers: whenever one of them waits for a lock, the reader's running statement is interrupted.
class GivingWay {
public:
    explicit GivingWay(sqlite3 *reader);
    ~GivingWay();
    GivingWay(const GivingWay &) = delete;
    GivingWay &operator=(const GivingWay &) = delete;

private:
    sqlite3 *m_reader;
};

// Groups writes that belong together: rolls back in its destructor unless committed.
class Transaction {
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Database &m_db;
    QString m_savepoint; // empty for the outermost transaction
    bool m_done = false;
};

// The result of a query: the rowids of its rows in the query's order, read as the cursor
// reaches them, each row read when it becomes current. Rows can be added and changed through it.
class Recordset {
public:
    Recordset(Recordset &&) noexcept;
    Recordset &operator=(Recordset &&) noexcept;
    ~Recordset();

    bool eof() const;
    bool bof() const;
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    // Moves by n rows from the current one (no walk through the rows in between).
    void move(long long rows);
    // The number of rows: reads the remaining keys first, so it is always exact.
    long long recordCount() const;
    // Whether the result has at least n rows, reading no more keys than that takes.
    bool hasAtLeast(long long n) const;
    // The number of rows when every key has been read already; none while some are still to read.
    std::optional<long long> knownCount() const;
    long long absolutePosition() const;

    void findFirst(const QString &jetCriterion);
    bool noMatch() const { return m_noMatch; }

    bool hasField(const QString &name) const;
    QStringList fieldNames() const;
    Variant field(const QString &name);

    void addNew();
    void edit();
    void setField(const QString &name, const Variant &value);
    void update();
    void cancelUpdate();
    void close();

private:
    friend class Database;
    // Keys are either all given or read from keyQuery as the cursor needs them.
    Recordset(std::shared_ptr<Connection> connection, QString table, QString key, QString rowSql,
              std::optional<Statement> keyQuery, std::vector<std::int64_t> keys = {});

    enum class EditMode { None, Add, Edit };
    void ensureOpen() const;
    // Reads keys from the still running key query until there are `want` or none are left.
    void fetchKeys(std::size_t want) const;
    void ensureCurrent() const;
    int fieldIndex(const QString &name) const;
    void loadRow();
    Variant fieldValue(int index);

    std::shared_ptr<Connection> m_connection;
    QString m_table;
    QString m_key; // the column holding each row's key
    QString m_rowSql;
    // Keys are read as the cursor needs them; the query stops holding the file once drained.
    mutable std::vector<std::int64_t> m_keys;
    mutable std::optional<Statement> m_keyQuery;
    // On a server a whole table's first keys come from a query of their own, limited to one
    // page; the rest are read only once the cursor goes past it.
    mutable QString m_restSql;
    mutable QList<Variant> m_restParams;
    long long m_pos = 0;
    std::shared_ptr<const RowShape> m_shape;
    // The current row as the engine gave it: a field is converted when it is read, not every
    // column of the row when the row is.
    std::vector<RowCell> m_cells;
    std::string m_bytes;
    std::vector<std::optional<Variant>> m_row;
    bool m_rowLoaded = false;
    bool m_noMatch = false;
    EditMode m_mode = EditMode::None;
    std::vector<std::pair<int, Variant>> m_pending;
};

} // namespace zumen
