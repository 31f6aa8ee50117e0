#pragma once

#include <optional>

namespace zumen {

class Database;

// A window's outer frame in twips.
struct Placement {
    double left = 0;
    double top = 0;
    double height = 0;
    double width = 0;
};

// Where the user left the windows and the grids' columns: table Pos, one row an ID.
class PlacementStore {
public:
    explicit PlacementStore(Database &db) : m_db(db) {}

    // None when the row is missing; Null fields read 0.
    std::optional<Placement> placement(int row);
    // Writes left, top, height and width, adding the row when missing.
    void writePlacement(int row, const Placement &placement);
    // A column width from the row's Width; none when the row is missing.
    std::optional<int> width(int row);
    void writeWidth(int row, int twips);

private:
    Database &m_db;
};

} // namespace zumen
