// A shared archive on a PostgreSQL server, through libpq. Statements are prepared once per
// connection and their parameters sent as text of unknown type, so the server types each by
// where it stands, as SQLite's loose typing would have taken it.

#include "db/db_error.h"
#include "db/engine.h"
#include "db/schema.h"
#include "text/log.h"

#include <QHash>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <cstdlib>
#include <string_view>

namespace zumen {
namespace {

// The archive's write lock, held by the transaction that writes (pg_advisory_xact_lock).
constexpr long long WriteLock = 0x5A554D454E;

// Type numbers of the server's built-in types.
enum : Oid {
    BoolOid = 16,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    NumericOid = 1700,
    DateOid = 1082,
    TimestampOid = 1114,
    TimestamptzOid = 1184
};

ColumnKind kindOf(Oid type)
{
    switch (type) {
    case BoolOid:
    case Int8Oid:
    case Int2Oid:
    case Int4Oid:
    case OidOid:
        return ColumnKind::Integer;
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return ColumnKind::Double;
    case DateOid:
    case TimestampOid:
    case TimestamptzOid:
        return ColumnKind::Date;
    default:
        return ColumnKind::Text; // text, and citext, whose number differs from server to server
    }
}

// Result names as the schema spells them: the server gives them in lower case.
QString schemaSpelling(const char *name)
{
    static const QHash<QString, QString> spellings = [] {
        QHash<QString, QString> all;
        for (const Schema::Table &t : Schema::tables()) {
            all.insert(t.name.toLower(), t.name);
            for (const Schema::Column &c : t.columns)
                all.insert(c.name.toLower(), c.name);
        }
        return all;
    }();
    const QString lower = QString::fromUtf8(name);
    return spellings.value(lower, lower);
}

// SQLite text as the server reads it: "?N" marks become "$N"; quoted names are lower-cased, as
// the server folds unquoted ones (the schema's names are all lower case there, so a name is found
// whatever its case, as on the file), all but the collation "C"; "SELECT * FROM table" names the schema's
// columns, leaving out the server's own rowid column.
std::string postgresText(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            qsizetype end = i + 1;
            while (end < sql.size()) {
                if (sql[end] == c && !(end + 1 < sql.size() && sql[end + 1] == c))
                    break;
                end += sql[end] == c ? 2 : 1;
            }
            const QString quoted = sql.mid(i, end - i + 1);
            out += c == u'"' && quoted != QLatin1String("\"C\"") ? quoted.toLower() : quoted;
            i = end;
        } else if (c == u'?' && i + 1 < sql.size() && sql[i + 1].isDigit()) {
            out += u'$';
        } else {
            out += c;
        }
    }
    static const QRegularExpression star(QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+\"?(\\w+)\"?"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = star.match(out);
    if (m.hasMatch()) {
        for (const Schema::Table &t : Schema::tables()) {
            if (t.name.compare(m.captured(1), Qt::CaseInsensitive) != 0)
                continue;
            QStringList columns;
            for (const Schema::Column &col : t.columns)
                columns << u'"' + col.name.toLower() + u'"';
            const qsizetype at = out.indexOf(u'*');
            out.replace(at, 1, columns.join(u','));
            break;
        }
    }
    return out.toStdString();
}

class PgConnection;
[[noreturn]] void fail(PgConnection *c, PGresult *result, const QString &shown);

class PgConnection final : public Connection {
public:
    PGconn *conn = nullptr;
    int statements = 0;
    bool closing = false;

    ~PgConnection() override { close(); }
    bool isOpen() const override { return conn != nullptr; }
    std::unique_ptr<Cursor> prepare(const std::string &sql, const QString &shown, bool search) override;

    void execute(const QString &sql) override
    {
        shapes.clear();
        // One statement only, as on the file: PQexecParams refuses a second one.
        PGresult *r = PQexecParams(conn, postgresText(sql).c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            fail(this, r, sql);
        PQclear(r);
    }

    bool inTransaction() const override { return conn && PQtransactionStatus(conn) != PQTRANS_IDLE; }

    void beginWrite() override
    {
        execute(QStringLiteral("BEGIN"));
        try {
            // Writers queue for the archive's one write lock, as on the file: a clash shows here,
            // and a new record's number (the largest plus one) cannot be taken twice.
            execute(QStringLiteral("SET LOCAL lock_timeout = %1").arg(std::max(busyTimeoutMs, 1)));
            execute(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(WriteLock));
        } catch (const DbError &) {
            PQclear(PQexec(conn, "ROLLBACK"));
            throw;
        }
    }

    void close() override
    {
        closing = true;
        idle.clear();
        if (conn)
            PQfinish(conn);
        conn = nullptr;
    }
};

[[noreturn]] void fail(PgConnection *c, PGresult *result, const QString &shown)
{
    const QString state =
        QString::fromLatin1(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr);
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString msg = QString::fromUtf8(primary ? primary : PQerrorMessage(c->conn)).trimmed();
    PQclear(result);
    qCWarning(logDb) << "server error" << state << msg;
    if (PQstatus(c->conn) == CONNECTION_BAD || state.startsWith(QLatin1String("08")) || state.isEmpty())
        throw DbError(
            DbErr::ConnectionFailed,
            QStringLiteral("共有アーカイブ '%1' への接続が切れました。Zumen を起動し直してください。(%2)")
                .arg(c->path, msg));
    if (state.startsWith(QLatin1String("28")))
        throw DbError(DbErr::InvalidAccount,
                      QStringLiteral("アカウント名またはパスワードが正しくありません。"));
    if (state == QLatin1String("42501") || state == QLatin1String("25006"))
        throw DbError(DbErr::NoPermission, QStringLiteral("この操作を行う権限がありません。(%1)").arg(msg));
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03"))
        throw DbError(
            DbErr::LockedByOther,
            QStringLiteral("ほかのユーザーがロックしているため、'%1' を更新できません。").arg(c->path));
    if (state.startsWith(QLatin1String("23")))
        throw DbError(
            DbErr::DuplicateKey,
            QStringLiteral(
                "インデックスまたは主キーで値が重複しているため、テーブルを変更できませんでした。"));
    if (state == QLatin1String("42P01"))
        throw DbError(DbErr::NoSuchTable,
                      QStringLiteral("入力テーブルまたはクエリが見つかりません。(%1)").arg(msg));
    if (state == QLatin1String("42703"))
        throw DbError(DbErr::NoSuchField, QStringLiteral("フィールドが見つかりません。(%1)").arg(msg));
    if (state.startsWith(QLatin1String("42")))
        throw DbError(DbErr::SyntaxError,
                      QStringLiteral("クエリ式 '%1' の構文エラーです。(%2)").arg(shown, msg));
    if (state.startsWith(QLatin1String("22")))
        throw DbError(DbErr::TypeConversion,
                      QStringLiteral("データ型の変換エラーが発生しました。(%1)").arg(msg));
    if (state == QLatin1String("53100"))
        throw DbError(DbErr::DiskFull, QStringLiteral("ディスクの空き容量が不足しています。"));
    if (state == QLatin1String("3D000"))
        throw DbError(DbErr::FileNotFound,
                      QStringLiteral("データベース '%1' が見つかりません。").arg(c->path));
    throw DbError(DbErr::Reserved, QStringLiteral("データベース エンジンのエラーです。(%1)").arg(msg));
}

class PgCursor final : public Cursor {
public:
    PgCursor(PgConnection *c, std::string name, std::string searchText, QString shown, PGresult *description)
        : m_c(c), m_name(std::move(name)), m_searchText(std::move(searchText)), m_shown(std::move(shown))
    {
        m_params.resize(static_cast<std::size_t>(PQnparams(description)));
        for (int i = 0; i < PQnfields(description); ++i) {
            m_shape.names << schemaSpelling(PQfname(description, i));
            m_types.push_back(PQftype(description, i));
            m_shape.kinds.push_back(kindOf(m_types.back()));
        }
    }

    ~PgCursor() override
    {
        PQclear(m_result);
        // Server-side statements live until the connection ends; one dropped from a full cache
        // is let go now.
        if (m_c->conn && !m_c->closing && PQtransactionStatus(m_c->conn) == PQTRANS_IDLE)
            PQclear(PQexec(m_c->conn, ("DEALLOCATE " + m_name).c_str()));
    }

    void bind(int index, const Variant &value) override
    {
        if (index < 1 || index > static_cast<int>(m_params.size()))
            throw DbError(DbErr::Reserved,
                          QStringLiteral("パラメーター %1 はありません。(%2)").arg(index).arg(m_shown));
        std::optional<std::string> &param = m_params[static_cast<std::size_t>(index - 1)];
        if (value.isNull())
            param.reset();
        else if (value.isInteger())
            param = std::to_string(value.toInteger());
        else if (value.isDouble())
            param = QString::number(value.toDouble(), 'g', 17).toStdString();
        else if (value.isDate())
            param = value.toDate().toString(Qt::ISODate).toStdString();
        else
            param = value.toString().toStdString();
    }

    bool step() override
    {
        if (!m_result) {
            std::vector<const char *> values;
            for (const auto &p : m_params)
                values.push_back(p ? p->c_str() : nullptr);
            PGresult *r = m_searchText.empty()
                              ? PQexecPrepared(m_c->conn, m_name.c_str(), static_cast<int>(values.size()),
                                               values.data(), nullptr, nullptr, 0)
                              : PQexecParams(m_c->conn, m_searchText.c_str(), static_cast<int>(values.size()),
                                             nullptr, values.data(), nullptr, nullptr, 0);
            const ExecStatusType status = PQresultStatus(r);
            if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
                fail(m_c, r, m_shown);
            m_result = r;
            m_row = -1;
        }
        if (++m_row < PQntuples(m_result))
            return true;
        PQclear(m_result);
        m_result = nullptr;
        return false;
    }

    void reset() override
    {
        PQclear(m_result);
        m_result = nullptr;
        std::fill(m_params.begin(), m_params.end(), std::nullopt);
    }

    int columnCount() const override { return static_cast<int>(m_types.size()); }

    Variant column(int i) const override
    {
        RowCell cell;
        std::string bytes;
        read(i, cell, bytes);
        switch (cell.type) {
        case RowCell::Type::Null:
            return Variant();
        case RowCell::Type::Integer:
            return Variant(cell.integer);
        case RowCell::Type::Real:
            return Variant(cell.real);
        case RowCell::Type::Text:
            break;
        }
        return Variant(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }

    std::int64_t columnInteger(int i) const override
    {
        const char *text = value(i);
        if (!text)
            return 0;
        return m_types[static_cast<std::size_t>(i)] == BoolOid ? (*text == 't')
                                                               : std::strtoll(text, nullptr, 10);
    }

    void readRow(std::vector<RowCell> &cells, std::string &bytes) const override
    {
        cells.assign(m_types.size(), RowCell{});
        for (std::size_t i = 0; i < cells.size(); ++i)
            read(static_cast<int>(i), cells[i], bytes);
    }

    RowShape describe() const override { return m_shape; }

private:
    const char *value(int i) const
    {
        if (!m_result || m_row < 0 || m_row >= PQntuples(m_result) || i < 0 || i >= PQnfields(m_result) ||
            PQgetisnull(m_result, m_row, i))
            return nullptr;
        return PQgetvalue(m_result, m_row, i);
    }

    void read(int i, RowCell &cell, std::string &bytes) const
    {
        const char *text = value(i);
        if (!text)
            return;
        switch (m_types[static_cast<std::size_t>(i)]) {
        case BoolOid:
        case Int8Oid:
        case Int2Oid:
        case Int4Oid:
        case OidOid:
            cell.type = RowCell::Type::Integer;
            cell.integer = columnInteger(i);
            return;
        case Float4Oid:
        case Float8Oid:
        case NumericOid:
            cell.type = RowCell::Type::Real;
            cell.real = std::strtod(text, nullptr);
            return;
        default:
            cell.type = RowCell::Type::Text;
            cell.offset = bytes.size();
            cell.size = static_cast<std::size_t>(PQgetlength(m_result, m_row, i));
            bytes.append(text, cell.size);
        }
    }

    PgConnection *m_c;
    std::string m_name;
    std::string m_searchText; // the text a search runs with its values; empty for the prepared one
    QString m_shown;
    std::vector<std::optional<std::string>> m_params;
    std::vector<Oid> m_types;
    RowShape m_shape;
    PGresult *m_result = nullptr;
    int m_row = -1;
};

std::unique_ptr<Cursor> PgConnection::prepare(const std::string &sql, const QString &shown, bool search)
{
    // The server prepares blanks and comments alone as a statement that does nothing; the file
    // refuses them, and so does this.
    static const QRegularExpression nothing(QStringLiteral("^(\\s|--[^\\n]*(\\n|$)|/\\*.*?\\*/)*$"),
                                            QRegularExpression::DotMatchesEverythingOption);
    if (nothing.match(QString::fromStdString(sql)).hasMatch())
        throw DbError(DbErr::SyntaxError,
                      QStringLiteral("クエリ式 '%1' の構文エラーです。(一つの文ではありません)").arg(shown));
    const std::string name = "z" + std::to_string(++statements);
    const std::string text = postgresText(QString::fromStdString(sql));
    PGresult *prepared = PQprepare(conn, name.c_str(), text.c_str(), 0, nullptr);
    if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
        fail(this, prepared, shown);
    PQclear(prepared);
    PGresult *description = PQdescribePrepared(conn, name.c_str());
    if (PQresultStatus(description) != PGRES_COMMAND_OK)
        fail(this, description, shown);
    // A search runs its text with its values each time (PQexecParams), so the server plans it
    // for them: a prepared statement's generic plan guesses a third of the rows for any range
    // and walks the whole table for a rare one. The card's steps keep their one plan.
    auto cursor = std::make_unique<PgCursor>(this, name, search ? text : std::string(), shown, description);
    PQclear(description);
    return cursor;
}

} // namespace

std::shared_ptr<Connection> connectPostgres(const QString &conninfo, const QString &origin, int busyTimeoutMs)
{
    auto c = std::make_shared<PgConnection>();
    c->dialect = Dialect::PostgreSQL;
    c->busyTimeoutMs = busyTimeoutMs;
    const QString where = origin.isEmpty() ? QStringLiteral("共有アーカイブ") : origin;
    if (!origin.isEmpty()) {
        // A file in a shared folder is read by everyone who opens the folder.
        char *error = nullptr;
        PQconninfoOption *options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
        if (!options) {
            const QString why = QString::fromUtf8(error ? error : "").trimmed();
            PQfreemem(error);
            throw DbError(DbErr::CannotOpen,
                          QStringLiteral("%1 の接続文字列を読めません。(%2)").arg(where, why));
        }
        bool password = false;
        for (const PQconninfoOption *o = options; o->keyword; ++o)
            password = password || (std::string_view(o->keyword) == "password" && o->val && *o->val);
        PQconninfoFree(options);
        if (password)
            throw DbError(DbErr::CannotOpen,
                          QStringLiteral("%1 にパスワードが書かれています。作業フォルダはほかの人も読むので、"
                                         "パスワードは消して、各自の ~/.pgpass に書いてください。")
                              .arg(where));
    }
    c->conn = PQconnectdb(conninfo.toUtf8().constData());
    if (!c->conn)
        throw DbError(DbErr::ConnectionFailed, QStringLiteral("%1 のサーバーに接続できません。").arg(where));
    if (PQstatus(c->conn) != CONNECTION_OK) {
        // libpq gives no error code for a failed connection; its message (never holding the
        // password) says which of these it was.
        const QString msg = QString::fromUtf8(PQerrorMessage(c->conn)).trimmed();
        c->close();
        if (msg.contains(QLatin1String("authentication failed")) ||
            msg.contains(QLatin1String("no password")) ||
            (msg.contains(QLatin1String("role")) && msg.contains(QLatin1String("does not exist"))))
            throw DbError(DbErr::InvalidAccount,
                          QStringLiteral("%1 のサーバーがこのアカウントを受け付けません。アカウント名と"
                                         ".pgpass のパスワードを確かめてください。(%2)")
                              .arg(where, msg));
        if (msg.contains(QLatin1String("database")) && msg.contains(QLatin1String("does not exist")))
            throw DbError(
                DbErr::FileNotFound,
                QStringLiteral("%1 の名前のデータベースがサーバーにありません。(%2)").arg(where, msg));
        throw DbError(DbErr::ConnectionFailed,
                      QStringLiteral("%1 のサーバーに接続できません。サーバーが動いているか、接続文字列が"
                                     "正しいか確かめてください。(%2)")
                          .arg(where, msg));
    }
    PQsetNoticeProcessor(
        c->conn, [](void *, const char *message) { qCDebug(logDb) << "server notice" << message; }, nullptr);
    PQsetClientEncoding(c->conn, "UTF8");
    c->path = QStringLiteral("%1@%2:%3")
                  .arg(QString::fromUtf8(PQdb(c->conn)), QString::fromUtf8(PQhost(c->conn)),
                       QString::fromUtf8(PQport(c->conn)));
    c->execute(QStringLiteral("SET DateStyle = ISO"));
    return c;
}

} // namespace zumen
