#include "shell/desk.h"

#include "card/info_frm.h"
#include "card/memo_frm.h"
#include "dialogs/guard.h"
#include "history/history_frm.h"
#include "layout/desgn_frm.h"
#include "lookup/trans.h"
#include "options/opt_frm.h"
#include "pages/drawing_frm.h"
#include "pages/page_capture.h"
#include "pages/pain.h"
#include "search/srch_frm.h"
#include "search/srchlist_frm.h"
#include "widgets/ui.h"

#include <QLabel>

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
    card->setMemoEditor(*memo);
    history->setMemoEditor(*memo);
    card->setPageSource(*new PageCapture(*this, *viewer->pain, card));
    // While a search result list is open, the card's steps walk it.
    card->setSearchWalk([this] { return search.active(); }, [this](bool next) { return search.step(next); });
    // The viewer shows what the card has.
    QObject::connect(card, &Info_frm::pageShown, viewer,
                     [this](std::int32_t id, std::int16_t page) { viewer->Display(id, page); });
    QObject::connect(card, &Info_frm::fileShown, viewer, &Drawing_frm::DisplayByFileName);
    QObject::connect(card, &Info_frm::pictureCleared, viewer, [this] { viewer->pain->clearDisplay(); });
    QObject::connect(card, &Info_frm::viewerLabelShown, viewer,
                     [this](const QString &text) { setLabelText(*viewer->ID, text); });
    QObject::connect(card, &Info_frm::historyHideRequested, history, &QWidget::hide);
    // 終了: the other windows keep their placements too, then the program ends.
    QObject::connect(card, &Info_frm::exitRequested, card, [this] {
        viewer->Unload();
        history->Unload();
        if (endProgram)
            endProgram();
    });
    QObject::connect(card, &Info_frm::optionsRequested, card, [this] {
        guarded([this] {
            auto *window = new Opt_frm(*this);
            // Imported values replace what the card shows, so that a save cannot write the old ones back.
            QObject::connect(window, &Opt_frm::recordsImported, card,
                             [this] { card->Display(card->ID->text().toInt()); });
            CenterForm(*window);
            window->show();
        });
    });
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
    QObject::connect(card, &Info_frm::designerRequested, card, [this](const QString &target) {
        guarded([this, target] {
            OpenDesigner(*this, *card, target, [this] {
                if (endProgram)
                    endProgram();
            });
        });
    });
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
