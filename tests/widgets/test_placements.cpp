#include "db/placement_store.h"
#include "support/temp_db.h"
#include "widgets/placements.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

TEST(Placements, AWindowStoredBeyondTheScreenComesBackOntoIt)
{
    TempDb t;
    PlacementStore store(t.db());
    // Stored on a larger screen, right of this one and taller than it: restored onto this one.
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget stored;
    stored.setGeometry(free.right() + 300, free.top() + 50, 500, free.height() + 400);
    SaveWindowPlacement(store, stored, PosRow::Viewer);
    QWidget viewer;
    RestoreWindows(store, nullptr, &viewer, nullptr, nullptr);
    EXPECT_TRUE(free.contains(viewer.frameGeometry()));
    EXPECT_EQ(viewer.frameGeometry().height(), free.height());
    EXPECT_NEAR(viewer.width(), 500, 1);
}

} // namespace
