#pragma once

#include "db/database.h"
#include "db/history_store.h"
#include "db/layout_store.h"
#include "db/layouts.h"
#include "db/options_store.h"
#include "db/placement_store.h"
#include "db/record_store.h"
#include "db/text_index.h"

#include <QString>

namespace zumen {

// The open working folder as the windows see it: the database, the stores over it, the two
// layouts and the two page folders read at start-up (changed folders take effect at the next
// start). Windows take this, never the desk that holds them.
struct Archive {
    // The start-up has brought a file of an older version up to date (Schema::upgrade) or left
    // it as it was: nothing is built here behind its back.
    explicit Archive(Database database) : db(std::move(database)) {}
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    Database db;
    RecordStore records{db};
    HistoryStore histories{db};
    OptionsStore options{db};
    PlacementStore placements{db};
    LayoutStore layouts{db};

    Layout mainLayout;
    Layout historyLayout;
    QString scanFolder; // absolute, or blank when not set
    QString fileFolder;
};

} // namespace zumen
