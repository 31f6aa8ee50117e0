#include "shell/desk.h"

#include "card/info_frm.h"
#include "dialogs/guard.h"
#include "history/history_frm.h"
#include "history/memo_frm.h"
#include "layout/desgn_frm.h"
#include "lookup/trans.h"
#include "pages/drawing_frm.h"
#include "search/srch_frm.h"
#include "shell/globals.h"

namespace zumen {

Desk::~Desk()
{
    delete card;
    delete viewer;
    delete history;
    delete memo;
}

void Desk::connectWindows()
{
    // The viewer's "追加" adds a page to the record the card shows.
    QObject::connect(viewer, &Drawing_frm::appendPageRequested, card, [this] { card->DoAppend(true); });
    // "履歴" opens the history card on the record the card shows, without waiting.
    QObject::connect(card, &Info_frm::historyRequested, history, [this](std::int32_t id) {
        guarded([&] {
            history->Init(id);
            history->show();
            history->raise();
        });
    });
    // "検索" opens the search window, or brings the open one forward with its conditions.
    QObject::connect(card, &Info_frm::searchRequested, card, [this] {
        if (history)
            history->hide();
        guarded([this] { OpenSearch(*this, search); });
    });
    // Another program may have left a request while the user was elsewhere.
    QObject::connect(card, &Info_frm::activatedFromProgram, card,
                     [this] { guarded([this] { checkRequestFile(); }); });
    // The hidden gesture on the ID label or "履歴" opens the layout designer, without waiting.
    QObject::connect(card, &Info_frm::designerRequested, card,
                     [this] { guarded([this] { OpenDesigner(*this, DesignTarget); }); });
    // A row of the search result list shows its record on the card.
    QObject::connect(&search, &SearchSession::recordRequested, card,
                     [this](std::int32_t id) { showRecord(id); });
}

void Desk::showRecord(std::int32_t id)
{
    card->Display(id);
    if (viewer) {
        viewer->show();
        viewer->raise();
    }
    card->show();
    card->raise();
    card->activateWindow();
}

void Desk::checkRequestFile()
{
    CheckRequestFile(*this, card, [this](std::int32_t id) { card->Display(id); });
}

} // namespace zumen
