#pragma once

#include "shell/desk.h"
#include "support/temp_db.h"

#include <memory>

// A record card, page viewer and memo editor on a fresh database, as start-up builds them,
// with "end the program" recorded instead of done. Seed rows through temp() before window(),
// since the card builds its grid from the layout when it is created.
class TestDesk {
public:
    TestDesk();
    ~TestDesk();
    TempDb &temp() { return m_temp; }
    void exec(const QString &sql) { m_temp.exec(sql); }
    // Loads the layouts and the folders, creates the windows and shows card and viewer.
    zumen::Desk &open();
    zumen::Desk &desk() { return *m_desk; }
    bool ended() const { return m_ended; }

private:
    TempDb m_temp;
    std::unique_ptr<zumen::Desk> m_desk;
    bool m_ended = false;
};
