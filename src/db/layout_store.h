#pragma once

#include "db/layouts.h"

namespace zumen {

class Database;

// The two layouts, record (table Desgn) and history (table DesgnHS), one row an item in
// ascending ID, the kind as a letter N, S, D or M.
class LayoutStore {
public:
    enum class Table { Main, History };

    explicit LayoutStore(Database &db) : m_db(db) {}

    // Clears positions 0 to 9 of both and reads them; rows past the eleventh are ignored.
    // The history layout is read only when the record layout has rows.
    void load(Layout &main, Layout &history);
    // Replaces the table's rows by the items before the first one not set, as given (eda
    // included). All or nothing: on a failure the old rows stay and the error is thrown.
    // With asLoaded (the layout as load gave it) the write is refused with
    // DbErr::ChangedByOther when the table no longer loads so: another desk changed it since.
    void write(Table table, const Layout &layout, const Layout *asLoaded = nullptr);
    // Throws DbErr::ChangedByOther when the table no longer loads as asLoaded: another desk
    // changed the layout since this one started, and a save would put values in the wrong items.
    void refuseIfChanged(Table table, const Layout &asLoaded);

private:
    bool loadsAs(Table table, const Layout &asLoaded);

    Database &m_db;
};

} // namespace zumen
