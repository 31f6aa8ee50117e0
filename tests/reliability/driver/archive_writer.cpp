// One of several writers on one archive at once, in a child process of the reliability probe.
// Through the record and history stores, as the cards use them, it adds records (each with its
// page 1) and history entries, and edits records and entries, its own and the other writers',
// until its time is up. Each value it writes names its write and the value it replaced:
// "W.S<P" is writer W's S-th write over the value written as P ("-": the row was new). A save
// refused because the row changed since it was read (3197) or the archive was locked (3260,
// 3218) is read again and tried again under the same W.S, and must have left nothing of its
// value behind. Each save that returned is appended to LOG before the next one starts:
//   DT|H ID PAGE VALUE      (PAGE is 0 for a record)
// At the end it prints how many saves were refused and how many met a lock.
//
//   archive_writer file|server QV.MDB|CONNINFO LOG WRITER SECONDS SEED
#include "db/database.h"
#include "db/db_error.h"
#include "db/history_store.h"
#include "db/record_store.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace zumen;

namespace {

const QString Namae = QStringLiteral("Namae");

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "%s\n", what.toLocal8Bit().constData());
    std::exit(3);
}

// The W.S part of a stored value; "-" for a row that was not there.
QString writeOf(const std::optional<RowValues> &row)
{
    return row && !row->isEmpty() ? row->value(Namae).toString().section(u'<', 0, 0) : QStringLiteral("-");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 7)
        return 2;
    const bool server = qstrcmp(argv[1], "server") == 0;
    const QString archive = QString::fromLocal8Bit(argv[2]);
    const int log = ::open(argv[3], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const int writer = std::atoi(argv[4]);
    const qint64 millis = std::atoll(argv[5]) * 1000;
    QRandomGenerator random(static_cast<quint32>(std::strtoul(argv[6], nullptr, 10)) * 31U +
                            static_cast<quint32>(writer));
    if (log < 0)
        return 2;
    int refused = 0, locked = 0;
    try {
        // A short wait for the lock, so that clashes happen and are answered by trying again.
        Database db = server ? Database::connect(archive, {}, 2000) : Database::open(archive, 2000);
        RecordStore records(db);
        HistoryStore histories(db);
        const auto note = [&](const char *table, std::int32_t id, int page, const QString &value) {
            const QByteArray line = QStringLiteral("%1 %2 %3 %4\n")
                                        .arg(QLatin1String(table))
                                        .arg(id)
                                        .arg(page)
                                        .arg(value)
                                        .toUtf8();
            if (::write(log, line.constData(), static_cast<size_t>(line.size())) != line.size())
                fail(QStringLiteral("the log cannot be written"));
        };
        // Runs a write (which reads what it needs first) until it returns. A refused one must
        // leave no row of the table holding its value.
        const auto persist = [&](const QString &table, const QString &write,
                                 const std::function<void()> &save) {
            for (int attempt = 1;; ++attempt) {
                try {
                    save();
                    return;
                } catch (const DbError &e) {
                    if (e.number() == DbErr::ChangedByOther)
                        ++refused;
                    else if (e.number() == DbErr::LockedByOther || e.number() == DbErr::Locked)
                        ++locked;
                    else
                        throw;
                    if (attempt == 500)
                        fail(QStringLiteral("%1: still refused after %2 tries").arg(write).arg(attempt));
                }
                try {
                    Statement left =
                        db.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE Namae LIKE ?1").arg(table));
                    left.bind(1, write + u'<' + u'%');
                    if (left.step() && left.columnInteger(0) != 0)
                        fail(QStringLiteral("%1: a refused save was written to %2").arg(write, table));
                } catch (const DbError &e) {
                    if (e.number() != DbErr::LockedByOther && e.number() != DbErr::Locked)
                        throw;
                }
            }
        };
        QElapsedTimer clock;
        clock.start();
        for (int sequence = 1; clock.elapsed() < millis; ++sequence) {
            const QString write = QStringLiteral("%1.%2").arg(writer).arg(sequence);
            std::int32_t last = 0;
            persist(QStringLiteral("DT"), write, [&] { last = records.newRecordId() - 1; });
            const unsigned action = last == 0 ? 0 : random.bounded(8U);
            // Half the edits go to the newest records, where the writers meet most.
            const std::int32_t newest = std::max(1, last - 9);
            const std::int32_t id =
                last == 0
                    ? 0
                    : static_cast<std::int32_t>(random.bounded(random.bounded(2U) ? newest : 1, last + 1));
            if (action < 2) {
                const QString value = write + QStringLiteral("<-");
                const auto firstPage = [](std::int32_t n) {
                    return PageRef{1, QStringLiteral("_SCAN"), ScanFileName(n, std::nullopt)};
                };
                std::int32_t saved = 0;
                persist(QStringLiteral("DT"), write, [&] {
                    // Handed out before the save, as at 追加: another writer may take it meanwhile.
                    const std::int32_t handedOut = records.newRecordId();
                    saved =
                        records.addRecord(handedOut, {{Namae, value}}, firstPage(handedOut), {}, firstPage);
                });
                note("DT", saved, 0, value);
            } else if (action < 5) {
                // An edit of a record as the card makes it: saved over the record as it was read.
                QString value;
                persist(QStringLiteral("DT"), write, [&] {
                    const std::optional<RowValues> shown = records.record(id);
                    if (!shown)
                        fail(QStringLiteral("record %1 of %2 is missing").arg(id).arg(last));
                    value = write + u'<' + writeOf(shown);
                    try {
                        records.saveRecord(id, {{Namae, value}}, shown);
                    } catch (const DbError &e) {
                        if (e.number() == DbErr::ChangedByOther && records.record(id) == shown)
                            fail(QStringLiteral("record %1: refused, yet it reads as shown").arg(id));
                        throw;
                    }
                });
                note("DT", id, 0, value);
            } else {
                // A history entry: a new one expects its number free, an edit its entry as read.
                std::int16_t page = 0;
                QString value;
                const bool add = action == 5;
                persist(QStringLiteral("Hstry"), write, [&] {
                    const std::int16_t next = histories.newEntryNumber(id);
                    page = add || next == 1
                               ? next
                               : static_cast<std::int16_t>(random.bounded(1, static_cast<int>(next)));
                    const RowValues shown = histories.entry(id, page).value_or(RowValues());
                    value = write + u'<' + writeOf(shown);
                    try {
                        histories.saveEntry(id, page, {{Namae, value}}, shown);
                    } catch (const DbError &e) {
                        if (e.number() == DbErr::ChangedByOther &&
                            histories.entry(id, page).value_or(RowValues()) == shown)
                            fail(QStringLiteral("entry %1/%2: refused, yet it reads as shown")
                                     .arg(id)
                                     .arg(page));
                        throw;
                    }
                });
                note("H", id, page, value);
            }
        }
    } catch (const NumberedError &e) {
        fail(e.alertText());
    } catch (const std::exception &e) {
        fail(QString::fromLocal8Bit(e.what()));
    }
    ::close(log);
    std::printf("refused %d locked %d\n", refused, locked);
    return 0;
}
