#pragma once

#include "db/archive.h"

#include <functional>

namespace zumen {

class Info_frm;
class Drawing_frm;
class Memo_frm;
class History_frm;
class SrchList_frm;

// The open working folder and the windows that live for the whole run.
struct Desk : Archive {
    explicit Desk(Database database) : Archive(std::move(database)) {}
    ~Desk();
    Desk(const Desk &) = delete;
    Desk &operator=(const Desk &) = delete;
    // Wires the windows' requests to each other once they all exist.
    void connectWindows();

    Info_frm *card = nullptr;
    Drawing_frm *viewer = nullptr;
    Memo_frm *memo = nullptr;
    History_frm *history = nullptr;
    // The open search result list; null when none is open (it clears this when it goes).
    SrchList_frm *results = nullptr;
    // Ends the program at once; tests put a recorder here.
    std::function<void()> endProgram;
};

} // namespace zumen
