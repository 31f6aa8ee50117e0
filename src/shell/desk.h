#pragma once

#include "db/archive.h"
#include "search/search_session.h"

#include <cstdint>
#include <functional>

namespace zumen {

class Info_frm;
class Drawing_frm;
class Memo_frm;
class History_frm;

// The open working folder and the windows that live for the whole run.
struct Desk : Archive {
    explicit Desk(Database database) : Archive(std::move(database)) {}
    ~Desk();
    Desk(const Desk &) = delete;
    Desk &operator=(const Desk &) = delete;
    // Wires the windows' requests to each other once they all exist.
    void connectWindows();
    // Shows a record on the card and brings the viewer and the card forward.
    void showRecord(std::int32_t id);
    // Serves a request file another program left in the working folder.
    void checkRequestFile();

    Info_frm *card = nullptr;
    Drawing_frm *viewer = nullptr;
    Memo_frm *memo = nullptr;
    History_frm *history = nullptr;
    // The open search result and its list.
    SearchSession search;
    // Ends the program at once; tests put a recorder here.
    std::function<void()> endProgram;
};

} // namespace zumen
