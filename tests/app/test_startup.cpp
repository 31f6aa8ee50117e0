#include "app/db_error.h"
#include "app/desk.h"
#include "app/flex_grid.h"
#include "app/globals.h"
#include "app/placements.h"
#include "app/startup.h"
#include "app/ui.h"
#include "app/working_folder.h"
#include "card/info_frm.h"
#include "pages/drawing_frm.h"
#include "support/temp_db.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>

#include "support/in_folder.h"

#include <gtest/gtest.h>

using namespace zumen;

namespace {

int visibleWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->isVisible() ? 1 : 0;
    return n;
}

TEST(Startup, AMissingDatabaseIsReportedAndNoWindowOpens)
{
    QTemporaryDir dir;
    InFolder here(dir.path());
    QString title, text;
    const int before = visibleWindows();
    std::unique_ptr<Desk> desk = StartDesk([&](const QString &t, const QString &m) {
        title = t;
        text = m;
    });
    EXPECT_EQ(desk, nullptr);
    EXPECT_EQ(title, QStringLiteral("エラー"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("エラー番号  3024"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" でエラーが発生しました。 \r")));
    EXPECT_EQ(visibleWindows(), before);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("QV.MDB"))));
}

TEST(Startup, ErrorTextPutsABlankOnlyBeforeANonNegativeNumber)
{
    EXPECT_EQ(startupErrorText(DbError(3051, QStringLiteral("開けません。"))),
              QStringLiteral("エラー番号  3051Zumen.Database でエラーが発生しました。 \r開けません。"));
    EXPECT_EQ(startupErrorText(NumberedError(-7, QStringLiteral("x"), QStringLiteral("S"))),
              QStringLiteral("エラー番号 -7S でエラーが発生しました。 \rx"));
}

TEST(Startup, FoldersComeFromTheirOptionRowsAlone)
{
    TempDb t;
    ScanDataFolder = QStringLiteral("left over");
    FileDataFolder.clear();
    t.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (12, '/data/files')"));
    ScanDataFolder.clear();
    ReadFolderOptions(t.db());
    EXPECT_EQ(ScanDataFolder, QString());
    EXPECT_EQ(FileDataFolder, QStringLiteral("/data/files"));
    t.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, NULL)"));
    ReadFolderOptions(t.db());
    EXPECT_EQ(ScanDataFolder, QString());
}

TEST(Startup, AWorkingFolderOpensTheDeskWherePlacementsSayAndExitStoresThem)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    InFolder here(dir.path());
    {
        std::unique_ptr<Desk> desk =
            StartDesk([](const QString &, const QString &m) { FAIL() << m.toStdString(); });
        ASSERT_NE(desk, nullptr);
        EXPECT_TRUE(desk->card->isVisible());
        EXPECT_TRUE(desk->viewer->isVisible());
        EXPECT_EQ(ScanDataFolder, QDir(dir.path()).filePath(QStringLiteral("scan")));
        // The first run has no placements: the design ones stand, and leaving writes rows 1 to 7.
        // Narrower than designed, so that the place fits the test screen and stays as it is.
        desk->card->resize(twipsToPixels(6000), twipsToPixels(3015));
        desk->card->move(twipsToPixels(1500), twipsToPixels(900));
        desk->card->List->setColWidthTwips(0, 3000);
        bool ended = false;
        desk->endProgram = [&] { ended = true; };
        desk->card->ExitProgram();
        EXPECT_TRUE(ended);
        Recordset pos = desk->db.openRecordset(QStringLiteral("SELECT * FROM Pos ORDER BY ID"));
        QList<qint64> rows;
        while (!pos.eof()) {
            rows << pos.field(QStringLiteral("ID")).toInteger();
            pos.moveNext();
        }
        EXPECT_EQ(rows, (QList<qint64>{1, 2, 3, 4, 5, 6, 7})); // never row 8
    }
    std::unique_ptr<Desk> again =
        StartDesk([](const QString &, const QString &m) { FAIL() << m.toStdString(); });
    ASSERT_NE(again, nullptr);
    EXPECT_NEAR(again->card->frameGeometry().x(), twipsToPixels(1500), 1);
    EXPECT_NEAR(again->card->frameGeometry().y(), twipsToPixels(900), 1);
    EXPECT_EQ(again->card->List->colWidthTwips(0), 3000);
}

TEST(Placements, ANullWidthHidesAColumnAndAMissingRowKeepsTheDefault)
{
    TempDb t;
    t.exec(QStringLiteral("INSERT INTO Pos (ID, Width) VALUES (3, NULL)"));
    FlexGrid grid;
    RestoreGridWidths(t.db(), grid, PosRow::CardItemColumn, PosRow::CardValueColumn);
    EXPECT_EQ(grid.columnWidth(0), 0);
    EXPECT_NEAR(grid.colWidthTwips(1), 5000, 15);
    SaveGridWidths(t.db(), grid, PosRow::CardItemColumn, PosRow::CardValueColumn);
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
    SaveWindowPlacement(t.db(), stored, PosRow::Viewer);
    QWidget viewer;
    RestoreWindows(t.db(), nullptr, &viewer, nullptr, nullptr);
    EXPECT_TRUE(free.contains(viewer.frameGeometry()));
    EXPECT_EQ(viewer.frameGeometry().height(), free.height());
    EXPECT_NEAR(viewer.width(), 500, 1);
}

} // namespace
