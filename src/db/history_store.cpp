#include "db/history_store.h"

#include "db/database.h"
#include "db/db_error.h"

namespace zumen {

std::optional<RowValues> HistoryStore::entry(std::int32_t id, std::int16_t page)
{
    RowValues values =
        readRow(m_db, QStringLiteral("SELECT * FROM Hstry WHERE ID=?1 AND Page=?2"), {id, page});
    if (values.isEmpty())
        return std::nullopt;
    return values;
}

std::int16_t HistoryStore::newEntryNumber(std::int32_t id)
{
    Statement s = m_db.prepare(QStringLiteral("SELECT max(Page) FROM Hstry WHERE ID=?1"));
    s.bind(1, id);
    if (!s.step() || s.column(0).isNull())
        return 1;
    return static_cast<std::int16_t>(s.columnInteger(0) + 1);
}

RowValues HistoryStore::saveEntry(std::int32_t id, std::int16_t page, const RowValues &values,
                                  const std::optional<RowValues> &asShown)
{
    // Compared under the write lock, as a record is.
    Transaction transaction(m_db);
    const QString read = QStringLiteral("SELECT * FROM Hstry WHERE ID=?1 AND Page=?2");
    if (asShown && readRow(m_db, read, {id, page}) != *asShown)
        throw ChangedSinceShown(
            QStringLiteral("レコード %1 の履歴 %2 は表示した後にほかの画面で変更されています。"
                           "表示し直すと、その値が見えます。")
                .arg(id)
                .arg(page));
    upsertRow(m_db, QStringLiteral("Hstry"), {{QStringLiteral("ID"), id}, {QStringLiteral("Page"), page}},
              values);
    RowValues saved = readRow(m_db, read, {id, page});
    transaction.commit();
    return saved;
}

} // namespace zumen
