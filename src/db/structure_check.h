#pragma once

#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct sqlite3;

namespace zumen {

// Checks a database file's whole structure in a thread of its own, on a read-only connection of
// its own, so that nobody waits for it: it starts after a pause, and gives way as soon as a
// connection of this program waits for the file (starting over once the file has been quiet).
class StructureCheck {
public:
    // report(damaged) runs once, on the check's thread, when the check has read the whole file;
    // never once the check is destroyed, nor when the file could not be read for another reason.
    StructureCheck(const QString &path, std::function<void(bool damaged)> report, int pauseMs = 500);
    // Stops the check and waits for its thread.
    ~StructureCheck();
    StructureCheck(const StructureCheck &) = delete;
    StructureCheck &operator=(const StructureCheck &) = delete;

private:
    void run(const QString &path, int pauseMs);
    void check(sqlite3 *db);
    // Waits up to ms; false when the check was stopped meanwhile.
    bool pause(int ms);
    bool stopped();

    std::function<void(bool)> m_report;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    sqlite3 *m_db = nullptr; // while open, for the stop to interrupt
    std::thread m_thread;
};

} // namespace zumen
