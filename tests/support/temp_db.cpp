#include "support/temp_db.h"

#include "db/schema.h"
#include "support/pg_server.h"

namespace {

zumen::Database created(const QTemporaryDir &dir, std::unique_ptr<ScratchDatabase> &server,
                        zumen::Dialect dialect)
{
    std::optional<zumen::Database> db;
    if (dialect == zumen::Dialect::PostgreSQL && testServer()) {
        server = std::make_unique<ScratchDatabase>();
        db.emplace(zumen::Database::connect(server->conninfo()));
    } else {
        db.emplace(zumen::Database::create(dir.filePath(QStringLiteral("QV.MDB"))));
    }
    zumen::Schema::create(*db);
    return std::move(*db);
}

} // namespace

TempDb::TempDb(zumen::Dialect dialect) : m_db(created(m_dir, m_server, dialect))
{}

TempDb::~TempDb()
{
    // The connection goes before its database is dropped.
    m_db.close();
}

QString TempDb::conninfo() const
{
    return m_server ? m_server->conninfo() : QString();
}
