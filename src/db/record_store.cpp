#include "db/record_store.h"

#include "db/database.h"

namespace zumen {

RecordStore::PageLookup RecordStore::page(std::int32_t id, std::int16_t page)
{
    PageLookup result;
    Statement count = m_db.prepare(QStringLiteral("SELECT count(*) FROM PG WHERE ID=?1"));
    count.bind(1, id);
    if (count.step())
        result.count = static_cast<int>(count.columnInteger(0));
    if (result.count == 0)
        return result;
    Statement row = m_db.prepare(QStringLiteral("SELECT Dir, FileName FROM PG WHERE ID=?1 AND Page=?2"));
    row.bind(1, id);
    row.bind(2, page);
    if (row.step())
        result.page = PageRef{page, row.column(0).toString().trimmed(), row.column(1).toString().trimmed()};
    return result;
}

std::optional<std::int16_t> RecordStore::nextPage(std::int32_t id)
{
    Statement last = m_db.prepare(QStringLiteral("SELECT max(Page) FROM PG WHERE ID=?1"));
    last.bind(1, id);
    if (!last.step() || last.column(0).isNull())
        return std::nullopt;
    return static_cast<std::int16_t>(last.columnInteger(0) + 1);
}

void RecordStore::putPage(std::int32_t id, std::int16_t page, const QString &dir, const QString &file)
{
    // PG's key is (ID, Page): an existing row is rewritten in place.
    Statement put = m_db.prepare(QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (?1, ?2, ?3, ?4) "
                                                "ON CONFLICT (ID, Page) DO UPDATE SET Dir=?3, FileName=?4"));
    put.bindAll({id, page, dir, file});
    put.run();
}

} // namespace zumen
