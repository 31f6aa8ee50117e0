#pragma once

#include "db/numbered_error.h"
#include "dialogs/alert_frm.h"

#include <exception>

namespace zumen {

// Runs one user action; a fault is shown in the alert dialog instead of ending the program.
// Returns false when the action failed.
template <typename Action> bool guarded(Action &&action)
{
    try {
        action();
        return true;
    } catch (const NumberedError &e) {
        ShowAlert(e.alertText());
    } catch (const std::exception &e) {
        ShowAlert(QString::fromUtf8(e.what()));
    }
    return false;
}

} // namespace zumen
