#include "app/desk.h"

#include "card/info_frm.h"
#include "history/memo_frm.h"
#include "pages/drawing_frm.h"

namespace zumen {

Desk::~Desk()
{
    delete card;
    delete viewer;
    delete memo;
}

void Desk::connectWindows()
{
    // The viewer's "追加" adds a page to the record the card shows.
    QObject::connect(viewer, &Drawing_frm::appendPageRequested, card, [this] { card->DoAppend(true); });
}

} // namespace zumen
