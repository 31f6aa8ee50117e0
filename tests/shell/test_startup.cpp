#include "card/info_frm.h"
#include "pages/drawing_frm.h"
#include "shell/desk.h"
#include "shell/startup.h"
#include "support/in_folder.h"
#include "support/modal.h"
#include "tools/working_folder.h"
#include "widgets/flex_grid.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QDir>
#include <QTest>

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

// Start-up that must fail: the message it shows, and no window.
QString failedStart()
{
    QString text;
    const int before = visibleWindows();
    EXPECT_EQ(StartDesk([&](const QString &title, const QString &m) {
                  EXPECT_EQ(title, QStringLiteral("エラー"));
                  text = m;
              }),
              nullptr);
    EXPECT_EQ(visibleWindows(), before);
    return text;
}

std::unique_ptr<Desk> start()
{
    return StartDesk([](const QString &, const QString &m) { ADD_FAILURE() << m.toStdString(); });
}

TEST(Startup, AMissingOrEmptyDatabaseIsReportedAndLeftAsItWas)
{
    QTemporaryDir dir;
    InFolder here(dir.path());
    QString text = failedStart();
    EXPECT_TRUE(text.startsWith(QStringLiteral("エラー番号  3024"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" でエラーが発生しました。 \r")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("QV.MDB"))));

    // An interrupted copy is told as such, not as a missing table: no repair, no backup.
    ASSERT_TRUE(QFile(dir.filePath(QStringLiteral("QV.MDB"))).open(QIODevice::WriteOnly));
    text = failedStart();
    EXPECT_TRUE(text.contains(QStringLiteral("は空 (0 バイト) のファイルで"))) << text.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("QV.MDB")});
}

TEST(Startup, ACopiedWorkingFolderUsesItsOwnPageFoldersAndOldAbsoluteOnesAreRewritten)
{
    QTemporaryDir original, elsewhere;
    WorkingFolder::init(original.path());
    const QDir copy(elsewhere.filePath(QStringLiteral("copy")));
    ASSERT_TRUE(copy.mkpath(QStringLiteral("scan")));
    ASSERT_TRUE(QFile::copy(QDir(original.path()).filePath(QStringLiteral("QV.MDB")),
                            copy.filePath(QStringLiteral("QV.MDB"))));
    // As older versions stored them: absolute, here reached through a link to the copy.
    ASSERT_TRUE(QFile::link(copy.path(), elsewhere.filePath(QStringLiteral("link"))));
    const QString outside = QDir(original.path()).filePath(QStringLiteral("files"));
    {
        Database db = Database::open(copy.filePath(QStringLiteral("QV.MDB")));
        db.executeNative(QStringLiteral("UPDATE UserOP SET Contents='%1' WHERE Code=11")
                             .arg(elsewhere.filePath(QStringLiteral("link/scan/"))));
        db.executeNative(QStringLiteral("UPDATE UserOP SET Contents='%1' WHERE Code=12").arg(outside));
    }
    InFolder here(copy.path());
    for (int run = 0; run < 2; ++run) {
        AlertAnswerer alerts;
        std::unique_ptr<Desk> desk = start();
        ASSERT_NE(desk, nullptr);
        Recordset rs = desk->db.openRecordset(QStringLiteral("SELECT * FROM UserOP WHERE Code=11"));
        EXPECT_EQ(rs.field(QStringLiteral("Contents")).toString(), QStringLiteral("scan"));
        EXPECT_EQ(QDir(desk->scanFolder).canonicalPath(), copy.filePath(QStringLiteral("scan")));
        EXPECT_EQ(desk->fileFolder, outside);
        // The user hears of the rewrite once, of the scan folder alone.
        EXPECT_EQ(alerts.texts().size(), 1 - run);
        EXPECT_FALSE(alerts.texts().value(0).contains(QStringLiteral("ファイルデータパス")));
    }
}

TEST(Startup, TheDeskOpensWherePlacementsSayAndExitStoresThem)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    InFolder here(dir.path());
    {
        std::unique_ptr<Desk> desk = start();
        ASSERT_NE(desk, nullptr);
        EXPECT_TRUE(desk->viewer->isVisible());
        // Narrower than designed, so that the place fits the test screen and stays as it is.
        desk->card->resize(twipsToPixels(6000), twipsToPixels(3015));
        desk->card->move(twipsToPixels(1500), twipsToPixels(900));
        desk->card->List->setColWidthTwips(0, 3000);
        desk->endProgram = [] {};
        desk->card->ExitProgram();
        Statement pos =
            desk->db.prepare(QStringLiteral("SELECT group_concat(ID) FROM (SELECT ID FROM Pos ORDER BY ID)"));
        ASSERT_TRUE(pos.step());
        EXPECT_EQ(pos.column(0).toString(), QStringLiteral("1,2,3,4,5,6,7")); // never row 8
    }
    std::unique_ptr<Desk> again = start();
    ASSERT_NE(again, nullptr);
    EXPECT_NEAR(again->card->frameGeometry().x(), twipsToPixels(1500), 1);
    EXPECT_NEAR(again->card->frameGeometry().y(), twipsToPixels(900), 1);
    EXPECT_EQ(again->card->List->colWidthTwips(0), 3000);
}

TEST(Startup, ARepairedFileIsCountedInTheNotice)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    InFolder here(dir.path());
    QFile f(dir.filePath(QStringLiteral("QV.MDB")));
    {
        Database db = Database::open(f.fileName());
        for (int id = 1; id <= 300; ++id)
            db.executeNative(QStringLiteral("INSERT INTO DT (ID, Text1) VALUES (%1, '%2')")
                                 .arg(id)
                                 .arg(QString(400, u'x')));
    }
    ASSERT_TRUE(f.resize(f.size() * 2 / 3));
    AlertAnswerer alerts;
    std::unique_ptr<Desk> desk = start();
    ASSERT_NE(desk, nullptr);
    const QString notice = alerts.texts().value(0);
    EXPECT_TRUE(notice.startsWith(QStringLiteral("QV.MDB が壊れていたため、読める行から作り直しました。\r")));
    EXPECT_TRUE(notice.contains(QStringLiteral("元のファイルは QV.MDB.bak1 に残してあります。")));
    EXPECT_TRUE(notice.contains(QStringLiteral("オプション 2・")));
    EXPECT_FALSE(notice.contains(QStringLiteral("レコード 0・"))) << notice.toStdString();
}

} // namespace
