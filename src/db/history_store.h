#pragma once

#include "db/record_store.h"

#include <cstdint>
#include <optional>

namespace zumen {

class Database;

// The numbered history entries of the records (table Hstry, keyed by ID and Page), bound as
// parameters like the record store.
class HistoryStore {
public:
    explicit HistoryStore(Database &db) : m_db(db) {}

    // The entry's values; none when the record has no entry of that number.
    std::optional<RowValues> entry(std::int32_t id, std::int16_t page);
    // The record's highest entry number + 1, or 1.
    std::int16_t newEntryNumber(std::int32_t id);
    // Writes an entry, adding it when missing, and returns it as stored; asShown as for
    // RecordStore::saveRecord.
    RowValues saveEntry(std::int32_t id, std::int16_t page, const RowValues &values,
                        const std::optional<RowValues> &asShown = std::nullopt);

private:
    Database &m_db;
};

} // namespace zumen
