#pragma once

#include "shell/desk.h"
#include "support/in_folder.h"
#include "support/temp_db.h"

#include <memory>
#include <optional>

// The desk start-up builds, on a fresh working folder that is the current folder while the
// desk is open; "end the program" is recorded, not done. Seed rows before open().
class TestDesk {
public:
    TestDesk();
    ~TestDesk();
    TempDb &temp() { return m_temp; }
    void exec(const QString &sql) { m_temp.exec(sql); }
    // Starts the desk in the folder and waits for the card to be active.
    zumen::Desk &open();
    zumen::Desk &desk() { return *m_desk; }
    bool ended() const { return m_ended; }

private:
    TempDb m_temp;
    std::optional<InFolder> m_inFolder;
    std::unique_ptr<zumen::Desk> m_desk;
    bool m_ended = false;
};
