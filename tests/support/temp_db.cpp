#include "support/temp_db.h"

#include "db/schema.h"

namespace {

zumen::Database created(const QTemporaryDir &dir)
{
    zumen::Database db = zumen::Database::create(dir.filePath(QStringLiteral("QV.MDB")));
    zumen::Schema::create(db);
    return db;
}

} // namespace

TempDb::TempDb() : m_db(created(m_dir))
{}
