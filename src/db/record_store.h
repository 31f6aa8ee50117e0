#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace zumen {

class Database;

// One page row of a record: where its image file lies.
struct PageRef {
    std::int16_t page = 0;
    QString dir;  // trimmed; "_SCAN" and "_FILE" stand for the two data folders
    QString file; // trimmed
};

// Records (table DT) and their pages (table PG). Ids and page numbers travel as integers and
// are bound as parameters; nothing of the engine shows through.
class RecordStore {
public:
    explicit RecordStore(Database &db) : m_db(db) {}

    // How many pages the record has, and the one asked for; no page when it has no such row.
    struct PageLookup {
        int count = 0;
        std::optional<PageRef> page;
    };
    PageLookup page(std::int32_t id, std::int16_t page);
    // The page after the record's last; none when the record has no page.
    std::optional<std::int16_t> nextPage(std::int32_t id);
    // Writes a page row, adding it when missing.
    void putPage(std::int32_t id, std::int16_t page, const QString &dir, const QString &file);

private:
    Database &m_db;
};

} // namespace zumen
