#pragma once

#include "db/upsert.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace zumen {

class Database;

// A scanned page's file name: "SC", the identifier in at least six digits, for a page added
// later its number in at least two, ".TIF".
QString ScanFileName(std::int32_t id, std::optional<std::int16_t> page);

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

    // The record's values (dates as dates, numbers as doubles); none when there is no such record.
    std::optional<RowValues> record(std::int32_t id);
    // The record with the next higher (next) or lower identifier; none at the table's end.
    std::optional<std::int32_t> neighbour(std::int32_t id, bool next);
    // The record whose column (a text column of DT, compared as the table compares it)
    // holds the value, when exactly one does.
    std::optional<std::int32_t> soleRecordWith(const QString &column, const QString &value);
    // The highest record identifier + 1, or 1.
    std::int32_t newRecordId();
    // Whether a record or a page row has the identifier.
    bool idInUse(std::int32_t id);
    // The first identifier from `from` on that no record or page uses and, with a scan folder,
    // that no waiting scan file there has.
    std::int32_t freeRecordId(std::int32_t from, const QString &scanFolder = {});
    // Whether a page row refers to the scan file.
    bool scanReferenced(const QString &file);
    // Writes a record, adding it when missing, and returns it as stored. With asShown (the
    // record as read when it was shown; empty: there was none) the write is refused with
    // DbErr::ChangedByOther when the record no longer reads so: another desk or program
    // changed or deleted it since.
    RowValues saveRecord(std::int32_t id, const RowValues &values,
                         const std::optional<RowValues> &asShown = std::nullopt);
    // Adds a new record and its page 1 in one transaction. When the identifier has been taken
    // meanwhile (another desk on the folder), the next free one (passing over the scans waiting
    // in scanFolder, when given) is used and moveTo is asked for the page under it.
    // Returns the identifier the record was saved under.
    std::int32_t addRecord(std::int32_t id, const RowValues &values, const PageRef &first,
                           const QString &scanFolder, const std::function<PageRef(std::int32_t)> &moveTo);

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

// One stored row's values by column name, dates and numbers read as the cards expect them.
RowValues readRow(Database &db, const QString &sql, const QList<Variant> &params);

} // namespace zumen
