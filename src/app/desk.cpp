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

} // namespace zumen
