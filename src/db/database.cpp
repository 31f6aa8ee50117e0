#include "db/database.h"

#include "db/db_error.h"
#include "db/engine.h"
#include "db/jet_sql.h"
#include "db/text_index.h"
#include "text/utility.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace zumen {

// The embedded file: one SQLite connection.
class SqliteConnection final : public Connection {
public:
    sqlite3 *db = nullptr;

    ~SqliteConnection() override { close(); }
    bool isOpen() const override { return db != nullptr; }
    std::unique_ptr<Cursor> prepare(const std::string &sql, const QString &shown, bool search) override;
    void execute(const QString &sql) override;
    bool inTransaction() const override { return db && !sqlite3_get_autocommit(db); }
    void beginWrite() override { execute(QStringLiteral("BEGIN IMMEDIATE")); }
    // Statements still in use keep SQLite's side alive until they are finalized.
    void close() override
    {
        idle.clear();
        if (db)
            sqlite3_close_v2(db);
        db = nullptr;
    }
};

namespace {

constexpr std::size_t MaxCachedTexts = 128;
// Keys a result reads when it opens; on a server, one query's worth (one more tells whether
// there are more).
constexpr long long FirstPageKeys = 257;

QString message(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
}

// The name that follows "no such table: " and the like in SQLite's messages.
QString objectName(const QString &msg)
{
    const qsizetype colon = msg.lastIndexOf(u':');
    return colon < 0 ? msg : msg.mid(colon + 1).trimmed();
}

[[noreturn]] void fail(SqliteConnection *c, int rc, const QString &context = {})
{
    const int primary = rc & 0xff;
    const QString msg = message(c ? c->db : nullptr);
    const QString file = c ? c->path : QString();
    switch (primary) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        if (c && c->onDamage)
            c->onDamage();
        throw DbError(DbErr::UnrecognisedFormat,
                      QStringLiteral("データベース形式 '%1' を認識できません。").arg(file));
    case SQLITE_BUSY:
        throw DbError(
            DbErr::LockedByOther,
            QStringLiteral("ほかのユーザーがロックしているため、'%1' を更新できません。").arg(file));
    case SQLITE_LOCKED:
        throw DbError(DbErr::Locked, QStringLiteral("ロックされているため、更新できません。"));
    case SQLITE_CONSTRAINT:
        throw DbError(
            DbErr::DuplicateKey,
            QStringLiteral(
                "インデックスまたは主キーで値が重複しているため、テーブルを変更できませんでした。"));
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        throw DbError(DbErr::CannotOpen,
                      QStringLiteral("ファイル '%1' を開けません。ほかのユーザーが排他的に開いているか、"
                                     "データを変更する権限がありません。")
                          .arg(file));
    case SQLITE_FULL:
        throw DbError(DbErr::DiskFull, QStringLiteral("ディスクの空き容量が不足しています。"));
    case SQLITE_IOERR:
        throw DbError(DbErr::DiskError, QStringLiteral("ディスクまたはネットワークのエラーです。"));
    default:
        break;
    }
    if (msg.startsWith(QLatin1String("no such table")))
        throw DbError(
            DbErr::NoSuchTable,
            QStringLiteral("入力テーブルまたはクエリ '%1' が見つかりません。").arg(objectName(msg)));
    if (msg.startsWith(QLatin1String("no such column")))
        throw DbError(DbErr::NoSuchField,
                      QStringLiteral("フィールド '%1' が見つかりません。").arg(objectName(msg)));
    if (primary == SQLITE_ERROR)
        throw DbError(DbErr::SyntaxError,
                      QStringLiteral("クエリ式 '%1' の構文エラーです。(%2)").arg(context, msg));
    throw DbError(DbErr::Reserved, QStringLiteral("データベース エンジンのエラーです。(%1)").arg(msg));
}

DbError databaseClosed()
{
    return DbError(DbErr::ObjectClosed, QStringLiteral("データベースは閉じられています。"));
}

Statement prepareOn(const std::shared_ptr<Connection> &c, const QString &sql, bool search = false);

// A server role that may only read; asked once per connection.
bool isReadOnly(const std::shared_ptr<Connection> &c)
{
    if (c->dialect != Dialect::PostgreSQL)
        return false;
    if (!c->readOnly) {
        // An empty database (being set up) has no DT yet: its owner is writing.
        Statement may = prepareOn(c, QStringLiteral("SELECT to_regclass('dt') IS NULL OR "
                                                    "has_table_privilege('dt', 'INSERT,UPDATE')"));
        c->readOnly = may.step() && may.columnInteger(0) == 0;
        may.run();
    }
    return *c->readOnly;
}

// Refused before anything is written, with the reason rather than the engine's refusal half-way.
void refuseReadOnly(const std::shared_ptr<Connection> &c)
{
    if (isReadOnly(c))
        throw DbError(DbErr::NoPermission,
                      QStringLiteral("この操作を行う権限がありません。共有アーカイブに読むだけの役割で"
                                     "接続しています。"));
}

DbError noCurrentRecord()
{
    return DbError(DbErr::NoCurrentRecord, QStringLiteral("カレント レコードがありません。"));
}

// Jet's LIKE with # and [..] arrives as REGEXP; compiled patterns are kept per statement.
void regexpFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    auto *re = static_cast<QRegularExpression *>(sqlite3_get_auxdata(ctx, 0));
    if (!re) {
        const auto *pattern = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        // Letter case is already spelled out in the expression, for ASCII letters only.
        re = new QRegularExpression(QString::fromUtf8(pattern ? pattern : ""),
                                    QRegularExpression::DotMatchesEverythingOption);
        if (!re->isValid()) {
            delete re;
            sqlite3_result_error(ctx, "invalid LIKE pattern", -1);
            return;
        }
        sqlite3_set_auxdata(ctx, 0, re, [](void *p) { delete static_cast<QRegularExpression *>(p); });
        re = static_cast<QRegularExpression *>(sqlite3_get_auxdata(ctx, 0));
        if (!re) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
    }
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    sqlite3_result_int(ctx, re->match(QString::fromUtf8(text ? text : "")).hasMatch() ? 1 : 0);
}

std::atomic<std::int64_t> lockWaitMs{0};
std::mutex givingWayMutex;
std::vector<sqlite3 *> givingWay;

std::int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits for a lock another connection holds, in the steps sqlite3_busy_timeout takes, and notes
// the wait so that a structure check reading in the background gives way.
int waitForLock(void *connection, int count)
{
    lockWaitMs = steadyMs();
    {
        const std::lock_guard lock(givingWayMutex);
        for (sqlite3 *reader : givingWay)
            sqlite3_interrupt(reader);
    }
    static constexpr int delays[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    constexpr int steps = static_cast<int>(std::size(delays));
    int waited = 0;
    for (int i = 0; i < std::min(count, steps); ++i)
        waited += delays[i];
    waited += std::max(0, count - steps) * delays[steps - 1];
    const int delay = std::min(delays[std::min(count, steps - 1)],
                               static_cast<const SqliteConnection *>(connection)->busyTimeoutMs - waited);
    if (delay <= 0)
        return 0;
    sqlite3_sleep(delay);
    return 1;
}

ColumnKind kindOf(const QString &declType)
{
    const QString t = declType.toUpper();
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return ColumnKind::Date;
    if (t.contains(QLatin1String("INT")))
        return ColumnKind::Integer;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("DOUB")) ||
        t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("SINGLE")) ||
        t.contains(QLatin1String("NUMERIC")))
        return ColumnKind::Double;
    if (t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("CHAR")) ||
        t.contains(QLatin1String("CLOB")))
        return ColumnKind::Text;
    return ColumnKind::Other;
}

DbError conversionError(const QString &field)
{
    return DbError(DbErr::TypeConversion,
                   QStringLiteral("フィールド '%1' でデータ型の変換エラーが発生しました。").arg(field));
}

// A value as it is stored in a column of the given kind: dates as ISO text, the zero date
// being day 0 of the serial numbering.
Variant toStored(const Variant &v, ColumnKind kind, const QString &field)
{
    if (v.isNull())
        return v;
    switch (kind) {
    case ColumnKind::Date: {
        QDate d;
        if (v.isDate())
            d = v.toDate();
        else if (v.isNumber())
            d = ZeroDate().addDays(static_cast<qint64>(std::floor(v.toDouble())));
        else if (const auto parsed = ParseDate(v.toString()))
            d = *parsed;
        if (!d.isValid())
            throw conversionError(field);
        return Variant(d.toString(Qt::ISODate));
    }
    case ColumnKind::Integer:
    case ColumnKind::Double: {
        double number = 0;
        if (v.isNumber()) {
            number = v.toDouble();
        } else if (v.isDate()) {
            number = static_cast<double>(ZeroDate().daysTo(v.toDate()));
        } else {
            bool ok = false;
            number = v.toString().trimmed().toDouble(&ok);
            if (!ok)
                throw conversionError(field);
        }
        if (kind == ColumnKind::Integer) {
            if (std::fabs(number) > 9.2e18)
                throw conversionError(field);
            return Variant(static_cast<std::int64_t>(std::llround(number)));
        }
        return Variant(number);
    }
    case ColumnKind::Text:
        return Variant(v.toString());
    case ColumnKind::Other:
        return v;
    }
    return v;
}

// A stored value as the caller reads it: dates back as dates, numbers in their column's kind.
Variant fromStored(const Variant &v, ColumnKind kind)
{
    if (kind == ColumnKind::Date && v.isText()) {
        const QDate d = QDate::fromString(v.toString().left(10), Qt::ISODate);
        return d.isValid() ? Variant(d) : v;
    }
    if (kind == ColumnKind::Double && v.isInteger())
        return Variant(v.toDouble());
    return v;
}

// Prepares exactly one statement. SQLite stops at the first ";" and reports the rest as a
// tail; running only the head of "DELETE … WHERE a ; AND b" would delete far more than
// asked, so anything but blanks and comments after the statement is refused.
sqlite3_stmt *prepareOne(SqliteConnection *c, const std::string &text, unsigned flags, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    const int rc =
        sqlite3_prepare_v3(c->db, text.c_str(), static_cast<int>(text.size()), flags, &stmt, &tail);
    if (rc != SQLITE_OK)
        fail(c, sqlite3_extended_errcode(c->db), sql);
    sqlite3_stmt *rest = nullptr;
    const int restRc =
        sqlite3_prepare_v2(c->db, tail, static_cast<int>(text.c_str() + text.size() - tail), &rest, nullptr);
    sqlite3_finalize(rest);
    if (!stmt || restRc != SQLITE_OK || rest) {
        sqlite3_finalize(stmt);
        throw DbError(DbErr::SyntaxError,
                      QStringLiteral("クエリ式 '%1' の構文エラーです。(一つの文ではありません)").arg(sql));
    }
    return stmt;
}

std::shared_ptr<const RowShape> shapeOf(Connection &c, const std::string &sql, const Cursor &cursor)
{
    if (c.shapes.size() >= MaxCachedTexts && !c.shapes.count(sql))
        c.shapes.clear();
    std::shared_ptr<const RowShape> &cached = c.shapes[sql];
    if (!cached)
        cached = std::make_shared<const RowShape>(cursor.describe());
    return cached;
}

// Takes a prepared statement for the text from the connection's cache, or prepares one.
Statement prepareOn(const std::shared_ptr<Connection> &c, const QString &sql, bool search)
{
    if (!c->isOpen())
        throw databaseClosed();
    // A search's cursor is cached apart from the same text's ordinary one.
    std::string key = (search ? "\x01" : "") + sql.toStdString();
    auto it = c->idle.find(key);
    if (it != c->idle.end() && !it->second.empty()) {
        std::unique_ptr<Cursor> cursor = std::move(it->second.back());
        it->second.pop_back();
        return Statement(c, std::move(key), std::move(cursor));
    }
    std::unique_ptr<Cursor> cursor = c->prepare(sql.toStdString(), sql, search);
    return Statement(c, std::move(key), std::move(cursor));
}

class SqliteCursor final : public Cursor {
public:
    SqliteCursor(SqliteConnection *c, sqlite3_stmt *stmt, QString shown)
        : m_c(c), m_stmt(stmt), m_shown(std::move(shown))
    {}
    ~SqliteCursor() override { sqlite3_finalize(m_stmt); }

    void bind(int index, const Variant &value) override
    {
        int rc = SQLITE_OK;
        if (value.isNull()) {
            rc = sqlite3_bind_null(m_stmt, index);
        } else if (value.isInteger()) {
            rc = sqlite3_bind_int64(m_stmt, index, value.toInteger());
        } else if (value.isDouble()) {
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
        } else {
            const QByteArray utf8 =
                value.isDate() ? value.toDate().toString(Qt::ISODate).toUtf8() : value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                                   SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            fail(m_c, rc);
    }

    bool step() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE) {
            // Ready for new bindings and another run.
            sqlite3_reset(m_stmt);
            return false;
        }
        const int code = sqlite3_extended_errcode(m_c->db);
        sqlite3_reset(m_stmt);
        fail(m_c, code, m_shown);
    }

    void reset() override
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }

    Variant column(int i) const override
    {
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER:
            return Variant(static_cast<std::int64_t>(sqlite3_column_int64(m_stmt, i)));
        case SQLITE_FLOAT:
            return Variant(sqlite3_column_double(m_stmt, i));
        case SQLITE_NULL:
            return Variant();
        default: {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i));
            return Variant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, i)));
        }
        }
    }

    std::int64_t columnInteger(int i) const override { return sqlite3_column_int64(m_stmt, i); }

    void readRow(std::vector<RowCell> &cells, std::string &bytes) const override
    {
        cells.assign(static_cast<std::size_t>(sqlite3_column_count(m_stmt)), RowCell{});
        for (std::size_t i = 0; i < cells.size(); ++i) {
            RowCell &cell = cells[i];
            const int c = static_cast<int>(i);
            switch (sqlite3_column_type(m_stmt, c)) {
            case SQLITE_NULL:
                break;
            case SQLITE_INTEGER:
                cell.type = RowCell::Type::Integer;
                cell.integer = sqlite3_column_int64(m_stmt, c);
                break;
            case SQLITE_FLOAT:
                cell.type = RowCell::Type::Real;
                cell.real = sqlite3_column_double(m_stmt, c);
                break;
            default: {
                cell.type = RowCell::Type::Text;
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, c));
                cell.offset = bytes.size();
                cell.size = static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, c));
                bytes.append(text ? text : "", cell.size);
            }
            }
        }
    }

    RowShape describe() const override
    {
        RowShape shape;
        for (int i = 0; i < sqlite3_column_count(m_stmt); ++i) {
            shape.names << QString::fromUtf8(sqlite3_column_name(m_stmt, i));
            const char *type = sqlite3_column_decltype(m_stmt, i);
            shape.kinds.push_back(kindOf(type ? QString::fromUtf8(type) : QString()));
        }
        return shape;
    }

private:
    SqliteConnection *m_c;
    sqlite3_stmt *m_stmt;
    QString m_shown;
};

} // namespace

std::unique_ptr<Cursor> SqliteConnection::prepare(const std::string &sql, const QString &shown, bool)
{
    return std::make_unique<SqliteCursor>(this, prepareOne(this, sql, SQLITE_PREPARE_PERSISTENT, shown),
                                          shown);
}

void SqliteConnection::execute(const QString &sql)
{
    // A schema change may change the shape of a result.
    shapes.clear();
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> stmt(
        prepareOne(this, sql.toStdString(), 0, sql), sqlite3_finalize);
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_DONE)
        fail(this, sqlite3_extended_errcode(db), sql);
}

// ---- Statement ----

Statement::Statement(std::shared_ptr<Connection> connection, std::string sql, std::unique_ptr<Cursor> cursor)
    : m_connection(std::move(connection)), m_sql(std::move(sql)), m_cursor(std::move(cursor))
{}

Statement::Statement(Statement &&other) noexcept = default;

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        release();
        m_connection = std::move(other.m_connection);
        m_sql = std::move(other.m_sql);
        m_cursor = std::move(other.m_cursor);
        m_shape = std::move(other.m_shape);
    }
    return *this;
}

Statement::~Statement()
{
    release();
}

void Statement::release()
{
    if (!m_cursor)
        return;
    std::unique_ptr<Cursor> cursor = std::move(m_cursor);
    if (!m_connection->isOpen())
        return;
    try {
        cursor->reset();
    } catch (const DbError &) {
        return; // a cursor that cannot be reset is not used again
    }
    auto &pool = m_connection->idle;
    if (pool.size() < MaxCachedTexts || pool.count(m_sql))
        pool[m_sql].push_back(std::move(cursor));
}

void Statement::bind(int index, const Variant &value)
{
    m_cursor->bind(index, value);
}

void Statement::bindAll(const QList<Variant> &values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        bind(static_cast<int>(i + 1), values[i]);
}

bool Statement::step()
{
    if (!m_connection->isOpen())
        throw databaseClosed();
    return m_cursor->step();
}

void Statement::run()
{
    while (step()) {
    }
}

int Statement::columnCount() const
{
    return m_cursor->columnCount();
}

const RowShape &Statement::shape() const
{
    if (!m_shape)
        m_shape = shapeOf(*m_connection, m_sql, *m_cursor);
    return *m_shape;
}

QStringList Statement::columnNames() const
{
    return shape().names;
}

Variant Statement::typedColumn(int i) const
{
    return fromStored(column(i), shape().kinds[static_cast<std::size_t>(i)]);
}

Variant Statement::column(int i) const
{
    return m_cursor->column(i);
}

std::int64_t Statement::columnInteger(int i) const
{
    return m_cursor->columnInteger(i);
}

// ---- Database ----

Database::Database(std::shared_ptr<Connection> connection) : m_connection(std::move(connection))
{}
Database::Database(Database &&) noexcept = default;
Database &Database::operator=(Database &&) noexcept = default;
Database::~Database() = default;

namespace {

std::shared_ptr<Connection> openFile(const QString &path, int flags, int busyTimeoutMs = 5000)
{
    auto c = std::make_shared<SqliteConnection>();
    c->path = path;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &c->db, flags | SQLITE_OPEN_EXRESCODE, nullptr);
    if (rc != SQLITE_OK)
        fail(c.get(), rc);
    if (!(flags & SQLITE_OPEN_CREATE) && sqlite3_db_readonly(c->db, "main") == 1)
        fail(c.get(), SQLITE_READONLY);
    // A double-quoted name must never silently turn into a text literal.
    sqlite3_db_config(c->db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(c->db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // A backup tool reading the file holds it briefly; wait rather than fail.
    c->busyTimeoutMs = busyTimeoutMs;
    sqlite3_busy_handler(c->db, waitForLock, c.get());
    sqlite3_create_function_v2(c->db, "regexp", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               regexpFunction, nullptr, nullptr, nullptr);
    // Reading the schema is where a file that is no database, or whose first pages are
    // damaged, shows itself. The rollback journal (not WAL) works on network shares.
    for (const char *sql :
         {"SELECT count(*) FROM sqlite_master", "PRAGMA journal_mode=DELETE", "PRAGMA synchronous=FULL"}) {
        char *err = nullptr;
        const int prc = sqlite3_exec(c->db, sql, nullptr, nullptr, &err);
        sqlite3_free(err);
        if (prc != SQLITE_OK)
            fail(c.get(), sqlite3_extended_errcode(c->db));
    }
    return c;
}

} // namespace

Database Database::open(const QString &path, int busyTimeoutMs)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw DbError(DbErr::FileNotFound,
                      QStringLiteral("ファイル '%1' が見つかりません。").arg(info.absoluteFilePath()));
    if (!info.isFile() || !info.isReadable() || !info.isWritable()) {
        SqliteConnection c;
        c.path = path;
        fail(&c, SQLITE_CANTOPEN);
    }
    // The engine would take an empty file for an empty database and fail later on a missing table.
    if (info.size() == 0)
        throw DbError(
            DbErr::CannotOpen,
            QStringLiteral("'%1' は空 (0 バイト) のファイルで、データベースとして使えません。"
                           "バックアップから戻すか、消してから zumen-db init で作り直してください。")
                .arg(info.absoluteFilePath()));
    return Database(openFile(path, SQLITE_OPEN_READWRITE, busyTimeoutMs));
}

Database Database::create(const QString &path)
{
    if (QFileInfo::exists(path))
        throw DbError(DbErr::CannotOpen, QStringLiteral("ファイル '%1' はすでにあります。").arg(path));
    return Database(openFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
}

Database Database::connect(const QString &conninfo, const QString &origin, int busyTimeoutMs)
{
    return Database(connectPostgres(conninfo, origin, busyTimeoutMs));
}

bool Database::isOpen() const
{
    return m_connection && m_connection->isOpen();
}

Dialect Database::dialect() const
{
    return m_connection ? m_connection->dialect : Dialect::SQLite;
}

bool Database::readOnly()
{
    if (!isOpen())
        throw databaseClosed();
    return isReadOnly(m_connection);
}

void Database::refuseChanges()
{
    if (!isOpen())
        throw databaseClosed();
    refuseReadOnly(m_connection);
}

QString Database::path() const
{
    return m_connection ? m_connection->path : QString();
}

sqlite3 *Database::handle() const
{
    const auto *file = dynamic_cast<const SqliteConnection *>(m_connection.get());
    return file ? file->db : nullptr;
}

void Database::verifyIntegrity()
{
    // The server keeps its own tables whole.
    if (dialect() != Dialect::SQLite)
        return;
    Statement check = prepare(QStringLiteral("PRAGMA quick_check(1)"));
    if (!check.step() || check.column(0).toString() != QLatin1String("ok"))
        fail(static_cast<SqliteConnection *>(m_connection.get()), SQLITE_CORRUPT);
}

void Database::setDamageHandler(std::function<void()> handler)
{
    if (!isOpen())
        throw databaseClosed();
    m_connection->onDamage = std::move(handler);
}

void Database::setProgressHandler(std::function<bool()> handler, int ops)
{
    if (!isOpen())
        throw databaseClosed();
    m_connection->onProgress = std::move(handler);
    // Nothing may be thrown through SQLite: a handler that throws interrupts the statement.
    const auto call = [](void *c) -> int {
        try {
            return static_cast<Connection *>(c)->onProgress() ? 0 : 1;
        } catch (...) {
            return 1;
        }
    };
    if (!handle())
        return; // a server statement is not interrupted from here
    sqlite3_progress_handler(handle(), m_connection->onProgress ? ops : 0,
                             m_connection->onProgress ? +call : nullptr, m_connection.get());
}

std::int64_t lastLockWait()
{
    return lockWaitMs;
}

GivingWay::GivingWay(sqlite3 *reader) : m_reader(reader)
{
    const std::lock_guard lock(givingWayMutex);
    givingWay.push_back(reader);
}

GivingWay::~GivingWay()
{
    const std::lock_guard lock(givingWayMutex);
    givingWay.erase(std::find(givingWay.begin(), givingWay.end(), m_reader));
}

Statement Database::prepare(const QString &sql)
{
    if (!isOpen())
        throw databaseClosed();
    return prepareOn(m_connection, sql);
}

void Database::executeNative(const QString &sql)
{
    if (!isOpen())
        throw databaseClosed();
    m_connection->execute(sql);
}

void Database::execute(const QString &jetSql)
{
    const JetStatement st = translateJet(jetSql);
    if (st.kind != JetStatement::Kind::Delete)
        throw DbError(DbErr::SyntaxError,
                      QStringLiteral("実行できるのは DELETE 文だけです。(%1)").arg(jetSql));
    Statement del = prepare(st.deleteSql());
    del.bindAll(st.params);
    del.run();
}

Recordset Database::openRecordset(const QString &jetSql)
{
    if (!isOpen())
        throw databaseClosed();
    JetStatement st = translateJet(jetSql, TextSearch::Index, {}, dialect());
    if (st.kind != JetStatement::Kind::Select)
        throw DbError(DbErr::SyntaxError, QStringLiteral("SELECT 文ではありません。(%1)").arg(jetSql));
    // The server sends a result whole: a whole table's first page of keys comes by a query of
    // its own, walking the key's index. Not for a condition: for a rare one that walk would
    // read the table to find a page, where the condition's index and a sort find all at once.
    if (dialect() == Dialect::PostgreSQL && !st.where.isEmpty()) {
        Statement keyQuery = prepareOn(m_connection, st.keySql(), true);
        keyQuery.bindAll(st.params);
        return Recordset(m_connection, st.table, st.key, st.rowSql(), std::move(keyQuery));
    }
    if (dialect() == Dialect::PostgreSQL) {
        JetStatement firstPage = st;
        firstPage.top = std::min(st.top.value_or(FirstPageKeys), FirstPageKeys);
        Statement keyQuery = prepareOn(m_connection, firstPage.keySql(), true);
        keyQuery.bindAll(st.params);
        Recordset result(m_connection, st.table, st.key, st.rowSql(), std::move(keyQuery));
        if (st.top.value_or(FirstPageKeys + 1) > FirstPageKeys) {
            result.m_restSql = st.keySql();
            result.m_restParams = st.params;
        }
        return result;
    }
    // An index behind DT that cannot be brought in step now would miss rows: scan instead. In
    // step, it is asked which terms are rare enough to look up.
    if (st.searchesText)
        st = TextIndex::catchUp(*this) ? translateJet(jetSql, TextSearch::Index,
                                                      [this](const QString &column, const QString &term) {
                                                          return TextIndex::lookupShare(*this, column, term);
                                                      })
                                       : translateJet(jetSql, TextSearch::Scan);
    // Rows without an ORDER BY come in rowid order. Asked for that order, SQLite walks the whole
    // table rather than sort what an index finds; where an index answers the condition, its keys
    // are read as the index gives them and sorted here.
    if (!st.where.isEmpty() && st.orderBy.isEmpty() && !st.top && indexAnswers(st.keySql(false), st.params)) {
        Statement keyQuery = prepare(st.keySql(false));
        keyQuery.bindAll(st.params);
        std::vector<std::int64_t> keys;
        while (keyQuery.step())
            keys.push_back(keyQuery.columnInteger(0));
        std::sort(keys.begin(), keys.end());
        return Recordset(m_connection, st.table, st.key, st.rowSql(), std::nullopt, std::move(keys));
    }
    Statement keyQuery = prepare(st.keySql());
    keyQuery.bindAll(st.params);
    return Recordset(m_connection, st.table, st.key, st.rowSql(), std::move(keyQuery));
}

bool Database::indexAnswers(const QString &keySql, const QList<Variant> &params)
{
    // The values are bound: a LIKE pattern's fixed beginning decides whether an index serves it.
    Statement plan = prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + keySql);
    plan.bindAll(params);
    bool searched = false;
    while (plan.step()) {
        const QString detail = plan.column(3).toString();
        // A full scan, of the table or of a whole index, is better read lazily in rowid order;
        // so is a range of rowids, which comes in that order anyway.
        if (detail.startsWith(QLatin1String("SCAN"))) {
            plan.run();
            return false;
        }
        searched = searched ||
                   (detail.startsWith(QLatin1String("SEARCH")) && detail.contains(QLatin1String(" INDEX ")) &&
                    !detail.contains(QLatin1String("PRIMARY KEY")));
    }
    return searched;
}

void Database::close()
{
    if (m_connection)
        m_connection->close();
    m_connection.reset();
}

// ---- Transaction ----

Transaction::Transaction(Database &db) : m_db(db)
{
    // SQLite takes no null handle: a closed file is refused here as everywhere else.
    if (!db.isOpen())
        throw databaseClosed();
    refuseReadOnly(db.m_connection);
    if (!db.connection()->inTransaction()) {
        db.connection()->beginWrite();
    } else {
        m_savepoint = QStringLiteral("zumen_%1").arg(++db.connection()->savepoints);
        db.executeNative(QStringLiteral("SAVEPOINT ") + m_savepoint);
    }
}

Transaction::~Transaction()
{
    if (m_done || !m_db.isOpen())
        return;
    try {
        if (m_savepoint.isEmpty()) {
            m_db.executeNative(QStringLiteral("ROLLBACK"));
        } else {
            m_db.executeNative(QStringLiteral("ROLLBACK TO ") + m_savepoint);
            m_db.executeNative(QStringLiteral("RELEASE ") + m_savepoint);
        }
    } catch (const DbError &) {
        // A failed rollback leaves the engine to undo the transaction (SQLite from its journal,
        // the server when the connection ends).
    }
}

void Transaction::commit()
{
    m_db.executeNative(m_savepoint.isEmpty() ? QStringLiteral("COMMIT")
                                             : QStringLiteral("RELEASE ") + m_savepoint);
    m_done = true;
}

// ---- Recordset ----

Recordset::Recordset(std::shared_ptr<Connection> connection, QString table, QString key, QString rowSql,
                     std::optional<Statement> keyQuery, std::vector<std::int64_t> keys)
    : m_connection(std::move(connection)), m_table(std::move(table)), m_key(std::move(key)),
      m_rowSql(std::move(rowSql)), m_keys(std::move(keys)), m_keyQuery(std::move(keyQuery))
{
    {
        const Statement row = prepareOn(m_connection, m_rowSql);
        row.shape();
        m_shape = row.m_shape;
    }
    // The first page of keys: small results are read whole at once, and the query's
    // errors surface when the result opens.
    fetchKeys(256);
}

Recordset::Recordset(Recordset &&) noexcept = default;
Recordset &Recordset::operator=(Recordset &&) noexcept = default;
Recordset::~Recordset() = default;

void Recordset::ensureOpen() const
{
    if (!m_connection || !m_connection->isOpen())
        throw DbError(DbErr::ObjectClosed, QStringLiteral("オブジェクトが無効か、設定されていません。"));
}

void Recordset::fetchKeys(std::size_t want) const
{
    while (m_keys.size() < want) {
        if (m_keyQuery) {
            if (m_keyQuery->step())
                m_keys.push_back(m_keyQuery->columnInteger(0));
            else
                m_keyQuery.reset();
            continue;
        }
        if (m_restSql.isEmpty())
            return;
        const QString sql = std::exchange(m_restSql, QString());
        if (m_keys.size() < static_cast<std::size_t>(FirstPageKeys))
            return; // the first page held them all
        // The whole result again: rows added or removed since the first page are counted right.
        Statement rest = prepareOn(m_connection, sql, true);
        rest.bindAll(m_restParams);
        m_keys.clear();
        while (rest.step())
            m_keys.push_back(rest.columnInteger(0));
    }
}

void Recordset::ensureCurrent() const
{
    ensureOpen();
    if (m_pos >= 0)
        fetchKeys(static_cast<std::size_t>(m_pos) + 1);
    if (m_pos < 0 || m_pos >= static_cast<long long>(m_keys.size()))
        throw noCurrentRecord();
}

bool Recordset::eof() const
{
    ensureOpen();
    if (m_pos >= 0)
        fetchKeys(static_cast<std::size_t>(m_pos) + 1);
    return m_pos >= static_cast<long long>(m_keys.size());
}

bool Recordset::bof() const
{
    ensureOpen();
    fetchKeys(1);
    return m_pos < 0 || m_keys.empty();
}

long long Recordset::recordCount() const
{
    ensureOpen();
    fetchKeys(std::numeric_limits<std::size_t>::max());
    return static_cast<long long>(m_keys.size());
}

bool Recordset::hasAtLeast(long long n) const
{
    ensureOpen();
    if (n <= 0)
        return true;
    fetchKeys(static_cast<std::size_t>(n));
    return static_cast<long long>(m_keys.size()) >= n;
}

std::optional<long long> Recordset::knownCount() const
{
    ensureOpen();
    if (m_keyQuery || !m_restSql.isEmpty())
        return std::nullopt;
    return static_cast<long long>(m_keys.size());
}

long long Recordset::absolutePosition() const
{
    ensureCurrent();
    return m_pos;
}

void Recordset::moveFirst()
{
    ensureOpen();
    fetchKeys(1);
    if (m_keys.empty())
        throw noCurrentRecord();
    m_pos = 0;
    m_rowLoaded = false;
}

void Recordset::moveLast()
{
    ensureOpen();
    fetchKeys(std::numeric_limits<std::size_t>::max());
    if (m_keys.empty())
        throw noCurrentRecord();
    m_pos = static_cast<long long>(m_keys.size()) - 1;
    m_rowLoaded = false;
}

void Recordset::moveNext()
{
    ensureCurrent();
    ++m_pos;
    m_rowLoaded = false;
}

void Recordset::movePrevious()
{
    ensureCurrent();
    --m_pos;
    m_rowLoaded = false;
}

void Recordset::move(long long rows)
{
    ensureOpen();
    if (rows == 0)
        return;
    ensureCurrent();
    if (m_pos + rows >= 0)
        fetchKeys(static_cast<std::size_t>(m_pos + rows) + 1);
    const long long size = static_cast<long long>(m_keys.size());
    // Like the original engine: moving past either end leaves the set at EOF or BOF.
    m_pos = std::clamp(m_pos + rows, -1LL, size);
    m_rowLoaded = false;
}

void Recordset::findFirst(const QString &jetCriterion)
{
    ensureOpen();
    fetchKeys(std::numeric_limits<std::size_t>::max());
    const SqlText criterion = translateCondition(jetCriterion, m_connection->dialect);
    std::vector<std::int64_t> matching;
    Statement query =
        prepareOn(m_connection, QStringLiteral("SELECT ") + m_key + QStringLiteral(" FROM ") +
                                    quoteIdentifier(m_table) + QStringLiteral(" WHERE ") + criterion.sql);
    query.bindAll(criterion.params);
    while (query.step())
        matching.push_back(query.columnInteger(0));
    std::sort(matching.begin(), matching.end());
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        if (std::binary_search(matching.begin(), matching.end(), m_keys[i])) {
            m_pos = static_cast<long long>(i);
            m_rowLoaded = false;
            m_noMatch = false;
            return;
        }
    }
    m_noMatch = true;
}

int Recordset::fieldIndex(const QString &name) const
{
    const QStringList &names = m_shape->names;
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    throw DbError(DbErr::NoSuchField,
                  QStringLiteral("このコレクションには項目 '%1' がありません。").arg(name));
}

bool Recordset::hasField(const QString &name) const
{
    for (const QString &n : m_shape->names) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList Recordset::fieldNames() const
{
    return m_shape->names;
}

void Recordset::loadRow()
{
    if (m_rowLoaded)
        return;
    ensureCurrent();
    Statement row = prepareOn(m_connection, m_rowSql);
    row.bind(1, Variant(m_keys[static_cast<std::size_t>(m_pos)]));
    if (!row.step())
        throw DbError(DbErr::RecordDeleted, QStringLiteral("レコードは削除されています。"));
    m_bytes.clear();
    row.m_cursor->readRow(m_cells, m_bytes);
    m_row.assign(m_shape->names.size(), std::nullopt);
    m_rowLoaded = true;
}

Variant Recordset::fieldValue(int index)
{
    loadRow();
    const auto i = static_cast<std::size_t>(index);
    std::optional<Variant> &converted = m_row[i];
    if (!converted) {
        // A column another program dropped since the result opened reads as Null.
        RowCell cell;
        if (i < m_cells.size())
            cell = m_cells[i];
        Variant stored;
        if (cell.type == RowCell::Type::Integer)
            stored = Variant(cell.integer);
        else if (cell.type == RowCell::Type::Real)
            stored = Variant(cell.real);
        else if (cell.type == RowCell::Type::Text)
            stored =
                Variant(QString::fromUtf8(m_bytes.data() + cell.offset, static_cast<qsizetype>(cell.size)));
        converted = fromStored(stored, m_shape->kinds[i]);
    }
    return *converted;
}

Variant Recordset::field(const QString &name)
{
    ensureOpen();
    const int index = fieldIndex(name);
    if (m_mode != EditMode::None) {
        for (const auto &[i, v] : m_pending) {
            if (i == index)
                return v;
        }
        if (m_mode == EditMode::Add)
            return Variant();
    }
    return fieldValue(index);
}

void Recordset::addNew()
{
    ensureOpen();
    // A write must not meet the key query still walking the same table.
    fetchKeys(std::numeric_limits<std::size_t>::max());
    m_mode = EditMode::Add;
    m_pending.clear();
}

void Recordset::edit()
{
    ensureCurrent();
    fetchKeys(std::numeric_limits<std::size_t>::max());
    m_mode = EditMode::Edit;
    m_pending.clear();
}

void Recordset::setField(const QString &name, const Variant &value)
{
    ensureOpen();
    const int index = fieldIndex(name);
    if (m_mode == EditMode::None)
        throw DbError(DbErr::UpdateWithoutEdit, QStringLiteral("AddNew または Edit を実行していません。"));
    const Variant stored =
        toStored(value, m_shape->kinds[static_cast<std::size_t>(index)], m_shape->names[index]);
    for (auto &[i, v] : m_pending) {
        if (i == index) {
            v = stored;
            return;
        }
    }
    m_pending.emplace_back(index, stored);
}

void Recordset::cancelUpdate()
{
    m_mode = EditMode::None;
    m_pending.clear();
}

void Recordset::update()
{
    ensureOpen();
    refuseReadOnly(m_connection);
    if (m_mode == EditMode::None)
        throw DbError(DbErr::UpdateWithoutEdit, QStringLiteral("AddNew または Edit を実行していません。"));
    QString sql;
    QStringList names;
    for (const auto &[i, v] : m_pending)
        names << quoteIdentifier(m_shape->names[i]);
    if (m_mode == EditMode::Add) {
        if (names.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING %2")
                      .arg(quoteIdentifier(m_table), m_key);
        } else {
            QStringList params;
            for (qsizetype k = 0; k < names.size(); ++k)
                params << QStringLiteral("?%1").arg(k + 1);
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                      .arg(quoteIdentifier(m_table), names.join(u','), params.join(u','), m_key);
        }
    } else {
        ensureCurrent();
        if (names.isEmpty()) {
            cancelUpdate();
            return;
        }
        QStringList sets;
        for (qsizetype k = 0; k < names.size(); ++k)
            sets << QStringLiteral("%1=?%2").arg(names[k]).arg(k + 1);
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3=?%4")
                  .arg(quoteIdentifier(m_table), sets.join(u','), m_key)
                  .arg(names.size() + 1);
    }
    Statement write = prepareOn(m_connection, sql);
    int k = 1;
    for (const auto &[i, v] : m_pending)
        write.bind(k++, v);
    if (m_mode == EditMode::Edit)
        write.bind(k, Variant(m_keys[static_cast<std::size_t>(m_pos)]));
    if (m_mode == EditMode::Add && write.step())
        m_keys.push_back(write.columnInteger(0));
    write.run();
    m_rowLoaded = false;
    cancelUpdate();
}

void Recordset::close()
{
    m_keyQuery.reset();
    m_connection.reset();
    m_keys.clear();
    m_cells.clear();
    m_row.clear();
    m_pending.clear();
}

} // namespace zumen
