#include "db/record_store.h"

#include "db/database.h"
#include "db/db_error.h"
#include "db/jet_sql.h"
#include "db/text_index.h"

#include <QDate>
#include <QFileInfo>
#include <QStringList>

namespace zumen {
namespace {

bool exists(Database &db, const QString &sql, const QList<Variant> &params)
{
    Statement s = db.prepare(sql);
    s.bindAll(params);
    const bool found = s.step();
    s.run();
    return found;
}

} // namespace

RowValues readRow(Database &db, const QString &sql, const QList<Variant> &params)
{
    Statement s = db.prepare(sql);
    s.bindAll(params);
    RowValues values;
    if (s.step()) {
        // Names and declared types are read once per query text, not per record shown.
        const QStringList names = s.columnNames();
        for (int i = 0; i < names.size(); ++i)
            values.insert(names[i], s.typedColumn(i));
        s.run();
    }
    return values;
}

QString ScanFileName(std::int32_t id, std::optional<std::int16_t> page)
{
    QString name = QStringLiteral("SC") + QStringLiteral("%1").arg(id, 6, 10, QLatin1Char('0'));
    if (page)
        name += QStringLiteral("%1").arg(*page, 2, 10, QLatin1Char('0'));
    return name + QStringLiteral(".TIF");
}

std::optional<RowValues> RecordStore::record(std::int32_t id)
{
    RowValues values = readRow(m_db, QStringLiteral("SELECT * FROM DT WHERE ID=?1"), {id});
    if (values.isEmpty())
        return std::nullopt;
    return values;
}

std::optional<std::int32_t> RecordStore::neighbour(std::int32_t id, bool next)
{
    Statement s = m_db.prepare(next ? QStringLiteral("SELECT min(ID) FROM DT WHERE ID>?1")
                                    : QStringLiteral("SELECT max(ID) FROM DT WHERE ID<?1"));
    s.bind(1, id);
    if (!s.step() || s.column(0).isNull())
        return std::nullopt;
    const auto found = static_cast<std::int32_t>(s.columnInteger(0));
    s.run();
    return found;
}

std::optional<std::int32_t> RecordStore::soleRecordWith(const QString &column, const QString &value)
{
    Statement s =
        m_db.prepare(QStringLiteral("SELECT ID FROM DT WHERE %1=?1 LIMIT 2").arg(quoteIdentifier(column)));
    s.bind(1, value);
    if (!s.step())
        return std::nullopt;
    const auto found = static_cast<std::int32_t>(s.columnInteger(0));
    if (s.step()) {
        s.run();
        return std::nullopt;
    }
    return found;
}

std::int32_t RecordStore::newRecordId()
{
    Statement s = m_db.prepare(QStringLiteral("SELECT max(ID) FROM DT"));
    const auto id = s.step() && !s.column(0).isNull() ? static_cast<std::int32_t>(s.columnInteger(0) + 1) : 1;
    s.run();
    return id;
}

bool RecordStore::idInUse(std::int32_t id)
{
    return exists(m_db, QStringLiteral("SELECT 1 FROM DT WHERE ID=?1"), {id}) ||
           exists(m_db, QStringLiteral("SELECT 1 FROM PG WHERE ID=?1"), {id});
}

std::int32_t RecordStore::freeRecordId(std::int32_t from, const QString &scanFolder)
{
    // A scan file without a record is another desk's capture waiting for its save (or one
    // left by an interrupted entry): its number is passed over, never its file replaced.
    std::int32_t id = from;
    while (idInUse(id) ||
           (!scanFolder.isEmpty() && QFileInfo::exists(scanFolder + u'/' + ScanFileName(id, std::nullopt))))
        ++id;
    return id;
}

bool RecordStore::scanReferenced(const QString &file)
{
    return exists(m_db, QStringLiteral("SELECT 1 FROM PG WHERE Dir='_SCAN' AND FileName=?1"), {file});
}

RowValues RecordStore::saveRecord(std::int32_t id, const RowValues &values,
                                  const std::optional<RowValues> &asShown)
{
    // The text index changes with the record, or neither does. The comparison runs under the
    // write lock, so nothing can be written between it and the update.
    Transaction transaction(m_db);
    const QString read = QStringLiteral("SELECT * FROM DT WHERE ID=?1");
    if (asShown && readRow(m_db, read, {id}) != *asShown)
        throw ChangedSinceShown(
            QStringLiteral(
                "レコード %1 は表示した後にほかの画面で変更されています。表示し直すと、その値が見えます。")
                .arg(id));
    upsertRow(m_db, QStringLiteral("DT"), {{QStringLiteral("ID"), id}}, values);
    TextIndex::catchUp(m_db);
    RowValues saved = readRow(m_db, read, {id});
    transaction.commit();
    return saved;
}

std::int32_t RecordStore::addRecord(std::int32_t id, const RowValues &values, const PageRef &first,
                                    const QString &scanFolder,
                                    const std::function<PageRef(std::int32_t)> &moveTo)
{
    // The check and the writes share the write lock: a number taken by another desk since it
    // was handed out is seen here, and the new record never replaces a record or its pages.
    Transaction transaction(m_db);
    PageRef page = first;
    if (idInUse(id)) {
        id = freeRecordId(newRecordId(), scanFolder);
        page = moveTo(id);
    }
    Statement insert = m_db.prepare(QStringLiteral("INSERT INTO DT (ID) VALUES (?1)"));
    insert.bind(1, id);
    insert.run();
    saveRecord(id, values);
    putPage(id, 1, page.dir, page.file);
    transaction.commit();
    return id;
}

RecordStore::PageLookup RecordStore::page(std::int32_t id, std::int16_t page)
{
    PageLookup result;
    // One statement, so one lock of the file: shown on every step from record to record.
    Statement rows = m_db.prepare(QStringLiteral(
        "SELECT count(*), max(CASE WHEN Page=?2 THEN 1 ELSE 0 END), max(CASE WHEN Page=?2 THEN Dir END), "
        "max(CASE WHEN Page=?2 THEN FileName END) FROM PG WHERE ID=?1"));
    rows.bind(1, id);
    rows.bind(2, page);
    if (!rows.step())
        return result;
    result.count = static_cast<int>(rows.columnInteger(0));
    if (rows.columnInteger(1) == 1)
        result.page = PageRef{page, rows.column(2).toString().trimmed(), rows.column(3).toString().trimmed()};
    rows.run();
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
    upsertRow(m_db, QStringLiteral("PG"), {{QStringLiteral("ID"), id}, {QStringLiteral("Page"), page}},
              {{QStringLiteral("Dir"), dir}, {QStringLiteral("FileName"), file}});
}

} // namespace zumen
