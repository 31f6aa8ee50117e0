#include "widgets/placements.h"

#include "db/database.h"
#include "db/user_options.h"
#include "text/utility.h"
#include "widgets/combo_setting.h"
#include "widgets/flex_grid.h"
#include "widgets/ui.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace zumen {
namespace {

QString criterion(int row)
{
    return QStringLiteral("ID=") + NumText(row);
}

double twipsField(Recordset &rs, const char *name)
{
    return NullToZero(rs.field(QString::fromLatin1(name))).toDouble();
}

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

void setWidth(Recordset &rs, int row, int twips)
{
    rs.findFirst(criterion(row));
    if (rs.noMatch()) {
        rs.addNew();
        rs.setField(QStringLiteral("ID"), row);
    } else {
        rs.edit();
    }
    rs.setField(QStringLiteral("Width"), twips);
    rs.update();
}

} // namespace

void RestoreWindows(Database &db, QWidget *card, QWidget *viewer, QWidget *history, QWidget *memo)
{
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM Pos"));
    if (rs.eof()) {
        rs.close();
        return;
    }
    const std::pair<int, QWidget *> windows[] = {
        {PosRow::Card, card}, {PosRow::Viewer, viewer}, {PosRow::History, history}, {PosRow::Memo, memo}};
    for (const auto &[row, window] : windows) {
        rs.findFirst(criterion(row));
        if (rs.noMatch() || !window)
            continue;
        place(*window, twipsField(rs, "Left"), twipsField(rs, "Top"), twipsField(rs, "Height"),
              twipsField(rs, "Width"));
    }
    rs.close();
}

void SaveWindowPlacement(Database &db, const QWidget &window, int row)
{
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM Pos WHERE ID=") + NumText(row));
    if (rs.eof()) {
        rs.addNew();
        rs.setField(QStringLiteral("ID"), row);
    } else {
        rs.edit();
    }
    const QRect frame = window.frameGeometry();
    // Placements are single-precision numbers in the table.
    auto single = [](int pixels) { return static_cast<double>(static_cast<float>(pixelsToTwips(pixels))); };
    rs.setField(QStringLiteral("Left"), single(frame.x()));
    rs.setField(QStringLiteral("Top"), single(frame.y()));
    rs.setField(QStringLiteral("Height"), single(frame.height()));
    rs.setField(QStringLiteral("Width"), single(frame.width()));
    rs.update();
    rs.close();
}

void RestoreGridWidths(Database &db, FlexGrid &grid, int itemRow, int valueRow)
{
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM Pos"));
    const std::pair<int, int> columns[] = {{itemRow, 2000}, {valueRow, 5000}};
    int col = 0;
    for (const auto &[row, fallback] : columns) {
        int width = fallback;
        if (!rs.eof()) {
            rs.findFirst(criterion(row));
            if (!rs.noMatch())
                width = static_cast<int>(NullToZero(rs.field(QStringLiteral("Width"))).toInteger());
        }
        grid.setColWidthTwips(col++, width);
    }
    rs.close();
}

void SaveGridWidths(Database &db, const FlexGrid &grid, int itemRow, int valueRow)
{
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM Pos"));
    setWidth(rs, itemRow, grid.colWidthTwips(0));
    setWidth(rs, valueRow, grid.colWidthTwips(1));
    rs.close();
}

int LoadViewerZoom(Database &db)
{
    bool ok = false;
    const int zoom = ReadOption(db, ViewerZoomCode).toInt(&ok);
    return ok ? zoom : FitZoom;
}

void SaveViewerZoom(Database &db, int zoom)
{
    WriteOption(db, ViewerZoomCode, QString::number(zoom));
}

} // namespace zumen
