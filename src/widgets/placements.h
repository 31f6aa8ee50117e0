#pragma once

class QWidget;

namespace zumen {

class Database;
class FlexGrid;

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
void RestoreWindows(Database &db, QWidget *card, QWidget *viewer, QWidget *history, QWidget *memo);
// Stores a window's outer position and size in its row, adding the row when missing.
void SaveWindowPlacement(Database &db, const QWidget &window, int row);
// Column widths from two rows, 2000 and 5000 twips when a row is missing.
void RestoreGridWidths(Database &db, FlexGrid &grid, int itemRow, int valueRow);
void SaveGridWidths(Database &db, const FlexGrid &grid, int itemRow, int valueRow);

// The page viewer's zoom is kept with the folder's options in UserOP, as the zoom list's
// number (a percent, or FitZoom for 全体) in Contents. Codes 11 to 16 are taken by the
// data folders and the scanner settings; 20 leaves room for more of those.
constexpr int ViewerZoomCode = 20;
// FitZoom when there is no row or it holds no number.
int LoadViewerZoom(Database &db);
void SaveViewerZoom(Database &db, int zoom);

} // namespace zumen
