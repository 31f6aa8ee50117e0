#pragma once

#include "db/placement_store.h"

class QWidget;

namespace zumen {

class FlexGrid;
class PlacementStore;

// Where the user left the windows and the item grids' columns, kept in table Pos in twips:
// row 1 record card, 2 page viewer, 5 history card, 8 memo editor (never written);
// rows 3/4 and 6/7 the two columns of the record card's and the history card's grid.
namespace PosRow {
constexpr int Card = 1;
constexpr int Viewer = 2;
constexpr int CardItemColumn = 3;
constexpr int CardValueColumn = 4;
constexpr int History = 5;
constexpr int HistoryItemColumn = 6;
constexpr int HistoryValueColumn = 7;
constexpr int Memo = 8;
} // namespace PosRow

// Places the windows from rows 1, 2, 5 and 8; a window without a row keeps its design
// placement. A placement made on another screen layout (a monitor since removed, another
// scale factor) is moved, and shrunk if need be, onto the free area of the screen it lies on,
// or of the primary screen. Null windows are passed over.
void RestoreWindows(PlacementStore &store, QWidget *card, QWidget *viewer, QWidget *history, QWidget *memo);
// Stores a window's outer position and size in its row.
void SaveWindowPlacement(PlacementStore &store, const QWidget &window, int row);
// Column widths from two rows, 2000 and 5000 twips when a row is missing.
void RestoreGridWidths(PlacementStore &store, FlexGrid &grid, int itemRow, int valueRow);
void SaveGridWidths(PlacementStore &store, const FlexGrid &grid, int itemRow, int valueRow);

} // namespace zumen
