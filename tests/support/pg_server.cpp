#include "support/pg_server.h"

#include <QCoreApplication>

#include <atomic>

std::optional<QString> testServer()
{
    const QString server = qEnvironmentVariable("ZUMEN_TEST_PG");
    if (server.isEmpty())
        return std::nullopt;
    return server;
}

QString serverSkipReason()
{
    const QString why = qEnvironmentVariable("ZUMEN_TEST_PG_SKIP");
    return QStringLiteral("no PostgreSQL test server: ") +
           (why.isEmpty() ? QStringLiteral("ZUMEN_TEST_PG is not set (./test.sh starts one)") : why);
}

ScratchDatabase::ScratchDatabase()
{
    static std::atomic<int> made{0};
    m_name = QStringLiteral("zumen_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    const QString server = testServer().value_or(QString());
    zumen::Database admin = zumen::Database::connect(server);
    admin.executeNative(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_name));
    admin.executeNative(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' "
                                       "LC_CTYPE 'C.UTF-8'")
                            .arg(m_name));
    // A later keyword overrides an earlier one in a libpq connection string.
    m_conninfo = server + QStringLiteral(" dbname=") + m_name;
}

ScratchDatabase::~ScratchDatabase()
{
    try {
        zumen::Database admin = zumen::Database::connect(testServer().value_or(QString()));
        admin.executeNative(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
    } catch (const std::exception &) {
        // The cluster goes at the end of the run anyway.
    }
}

std::string engineName(zumen::Dialect dialect)
{
    return dialect == zumen::Dialect::PostgreSQL ? "PostgreSQL" : "SQLite";
}
