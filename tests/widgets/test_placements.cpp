#include "db/placement_store.h"
#include "support/temp_db.h"
#include "widgets/flex_grid.h"
#include "widgets/placements.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

TEST(PlacementStore, RowsAreAddedOnceAndRewrittenInPlace)
{
    TempDb t;
    PlacementStore store(t.db());
    EXPECT_EQ(store.placement(PosRow::Card), std::nullopt);
    EXPECT_EQ(store.width(PosRow::CardItemColumn), std::nullopt);
    store.writePlacement(PosRow::Card, {100, 200, 3000, 4000.5});
    store.writeWidth(PosRow::Card, 4100); // the same row: a width changes only Width
    store.writeWidth(PosRow::CardItemColumn, 1800);
    const std::optional<Placement> p = store.placement(PosRow::Card);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->left, 100);
    EXPECT_EQ(p->height, 3000);
    EXPECT_EQ(p->width, 4100);
    EXPECT_EQ(store.width(PosRow::CardItemColumn), 1800);
    EXPECT_EQ(store.placement(PosRow::CardItemColumn)->left, 0); // Null reads 0
    Statement count = t.db().prepare(QStringLiteral("SELECT count(*) FROM Pos"));
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.columnInteger(0), 2);
}

TEST(Placements, ANullWidthHidesAColumnAndAMissingRowKeepsTheDefault)
{
    TempDb t;
    t.exec(QStringLiteral("INSERT INTO Pos (ID, Width) VALUES (3, NULL)"));
    FlexGrid grid;
    PlacementStore store(t.db());
    RestoreGridWidths(store, grid, PosRow::CardItemColumn, PosRow::CardValueColumn);
    EXPECT_EQ(grid.columnWidth(0), 0);
    EXPECT_NEAR(grid.colWidthTwips(1), 5000, 15);
    SaveGridWidths(store, grid, PosRow::CardItemColumn, PosRow::CardValueColumn);
    Recordset rs = t.db().openRecordset(QStringLiteral("SELECT * FROM Pos WHERE ID=4"));
    EXPECT_FALSE(rs.eof());
    EXPECT_TRUE(rs.field(QStringLiteral("Left")).isNull()); // grid rows use Width alone
}

TEST(Placements, AWindowStoredBeyondTheScreenComesBackOntoIt)
{
    // Stored on a larger screen: right of this one and taller than it.
    TempDb t;
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget stored;
    stored.setGeometry(free.right() + 300, free.top() + 50, 500, free.height() + 400);
    PlacementStore store(t.db());
    SaveWindowPlacement(store, stored, PosRow::Viewer);
    QWidget viewer;
    RestoreWindows(store, nullptr, &viewer, nullptr, nullptr);
    EXPECT_TRUE(free.contains(viewer.frameGeometry()));
    EXPECT_EQ(viewer.frameGeometry().height(), free.height());
    EXPECT_NEAR(viewer.width(), 500, 1);
}

} // namespace
