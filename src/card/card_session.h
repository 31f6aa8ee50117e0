#pragma once

#include "db/upsert.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace zumen {

// What a card is showing and doing, kept apart from its labels: the labels only show it.
struct CardSession {
    enum class Mode { View, Edit, New };

    std::int32_t id = 0;
    // The record card's page in the viewer; the history card's entry number.
    std::int16_t page = 1;
    Mode mode = Mode::View;
    // The item the entry walk stands on.
    std::int16_t currentItem = 0;
    // The captured page a new record is saved with, and whether the capture adds a page instead.
    QString pendingDir;
    QString pendingFile;
    // A new record's further scanned pages from a feeder, page 2 on, saved with it.
    QStringList pendingPages;
    bool pageMode = false;
    // The record or entry as read when it was shown (empty: none was): a save over it is refused
    // when it no longer reads so, since another desk or program wrote it meanwhile.
    RowValues shown;
};

} // namespace zumen
