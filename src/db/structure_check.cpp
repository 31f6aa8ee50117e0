#include "db/structure_check.h"

#include "db/database.h"

#include <QFile>

#include <sqlite3.h>

#include <chrono>

namespace zumen {
namespace {

// How long the file must have been free of waiting writers before the check (re)starts.
constexpr int QuietMs = 1000;

std::int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

StructureCheck::StructureCheck(const QString &path, std::function<void(bool damaged)> report, int pauseMs)
    : m_report(std::move(report)), m_thread([this, path, pauseMs] { run(path, pauseMs); })
{}

StructureCheck::~StructureCheck()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_db)
            sqlite3_interrupt(m_db);
    }
    m_wake.notify_all();
    m_thread.join();
}

bool StructureCheck::pause(int ms)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop; });
}

bool StructureCheck::stopped()
{
    const std::lock_guard lock(m_mutex);
    return m_stop;
}

void StructureCheck::run(const QString &path, int pauseMs)
{
    if (!pause(pauseMs))
        return;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        // While a writer holds the file, wait for it, unless stopped.
        sqlite3_busy_handler(
            db,
            [](void *self, int) {
                if (static_cast<StructureCheck *>(self)->stopped())
                    return 0;
                sqlite3_sleep(20);
                return 1;
            },
            this);
        {
            const std::lock_guard lock(m_mutex);
            m_db = m_stop ? nullptr : db;
        }
        if (m_db)
            check(db);
        const std::lock_guard lock(m_mutex);
        m_db = nullptr;
    }
    sqlite3_close(db);
}

void StructureCheck::check(sqlite3 *db)
{
    // The check holds a read lock from start to end, which a writer's commit waits for: a writer
    // of this program that waits interrupts it.
    const GivingWay givingWay(db);
    for (;;) {
        while (steadyMs() - lastLockWait() < QuietMs) {
            if (!pause(QuietMs))
                return;
        }
        if (stopped())
            return;
        sqlite3_stmt *stmt = nullptr;
        int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr);
        bool whole = false;
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
            whole = rc == SQLITE_ROW && text && QByteArrayView(text) == "ok";
        }
        sqlite3_finalize(stmt);
        if (rc == SQLITE_ROW || (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB) {
            m_report(!whole);
            return;
        }
        // Interrupted to let a writer in: start over once it is done. Anything else (the file
        // locked for long, gone, unreadable) is left to the program's own connection to meet.
        if ((rc & 0xff) != SQLITE_INTERRUPT)
            return;
    }
}

} // namespace zumen
