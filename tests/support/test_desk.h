#pragma once

#include "shell/desk.h"
#include "support/in_folder.h"
#include "support/temp_db.h"

#include <memory>
#include <optional>

// The desk start-up builds, on a fresh working folder that is the current folder while the
// desk is open; "end the program" is recorded, not done. Seed rows before open(). On the server
// engine the folder holds a QV.SERVER naming a database of its own on the test server.
class TestDesk {
public:
    explicit TestDesk(zumen::Dialect dialect = zumen::Dialect::SQLite);
    ~TestDesk();
    TempDb &temp() { return m_temp; }
    void exec(const QString &sql) { m_temp.exec(sql); }
    // Starts the desk in the folder and waits for the card to be active.
    zumen::Desk &open();
    zumen::Desk &desk() { return *m_desk; }
    // A second desk's connection to the same archive.
    zumen::Database otherDesk();
    bool ended() const { return m_ended; }

private:
    TempDb m_temp;
    std::optional<InFolder> m_inFolder;
    std::unique_ptr<zumen::Desk> m_desk;
    bool m_ended = false;
};
