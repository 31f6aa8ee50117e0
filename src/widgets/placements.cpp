#include "widgets/placements.h"

#include "db/options_store.h"
#include "db/placement_store.h"
#include "widgets/combo_setting.h"
#include "widgets/flex_grid.h"
#include "widgets/ui.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace zumen {
namespace {

// The frame brought onto the free area of the screen its centre is on (the primary screen
// when it is on none), no larger than that area.
QRect onScreen(QRect frame)
{
    const QScreen *screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return frame;
    const QRect free = screen->availableGeometry();
    frame.setSize(frame.size().boundedTo(free.size()));
    frame.moveLeft(std::clamp(frame.left(), free.left(), free.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), free.top(), free.bottom() + 1 - frame.height()));
    return frame;
}

// Left, top, height, width in twips, for the window's outer frame as the user sees it.
void place(QWidget &window, double left, double top, double height, double width)
{
    const QSize extra = window.frameGeometry().size() - window.geometry().size();
    QRect frame(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
    // A window cannot be smaller than its minimum: measure what it will really cover.
    frame.setSize(frame.size().expandedTo(window.minimumSize() + extra));
    frame = onScreen(frame);
    window.move(frame.topLeft());
    window.resize(std::max(0, frame.width() - extra.width()), std::max(0, frame.height() - extra.height()));
}

} // namespace

void RestoreWindows(PlacementStore &store, QWidget *card, QWidget *viewer, QWidget *history, QWidget *memo)
{
    const std::pair<int, QWidget *> windows[] = {
        {PosRow::Card, card}, {PosRow::Viewer, viewer}, {PosRow::History, history}, {PosRow::Memo, memo}};
    for (const auto &[row, window] : windows) {
        if (!window)
            continue;
        if (const std::optional<Placement> p = store.placement(row))
            place(*window, p->left, p->top, p->height, p->width);
    }
}

void SaveWindowPlacement(PlacementStore &store, const QWidget &window, int row)
{
    const QRect frame = window.frameGeometry();
    // Placements are single-precision numbers in the table.
    auto single = [](int pixels) { return static_cast<double>(static_cast<float>(pixelsToTwips(pixels))); };
    store.writePlacement(
        row, {single(frame.x()), single(frame.y()), single(frame.height()), single(frame.width())});
}

void RestoreGridWidths(PlacementStore &store, FlexGrid &grid, int itemRow, int valueRow)
{
    grid.setColWidthTwips(0, store.width(itemRow).value_or(2000));
    grid.setColWidthTwips(1, store.width(valueRow).value_or(5000));
}

void SaveGridWidths(PlacementStore &store, const FlexGrid &grid, int itemRow, int valueRow)
{
    store.writeWidth(itemRow, grid.colWidthTwips(0));
    store.writeWidth(valueRow, grid.colWidthTwips(1));
}

} // namespace zumen
