#include "card/info_frm.h"
#include "db/db_error.h"
#include "pages/drawing_frm.h"
#include "shell/desk.h"
#include "shell/startup.h"
#include "support/modal.h"
#include "support/temp_db.h"
#include "tools/working_folder.h"
#include "widgets/flex_grid.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

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

    // An empty file (an interrupted copy or init) is told as such, not as a missing table, and
    // is left alone: no repair, no backup.
    QFile empty(dir.filePath(QStringLiteral("QV.MDB")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(StartDesk([&](const QString &, const QString &m) { text = m; }), nullptr);
    EXPECT_TRUE(text.startsWith(QStringLiteral("エラー番号  3051"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("は空 (0 バイト) のファイルで"))) << text.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("QV.MDB")});
    EXPECT_EQ(visibleWindows(), before);
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
    Archive a(Database::open(t.path()));
    a.scanFolder = QStringLiteral("left over");
    t.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (12, '/data/files')"));
    ReadFolderOptions(a);
    EXPECT_EQ(a.scanFolder, QString());
    EXPECT_EQ(a.fileFolder, QStringLiteral("/data/files"));
    t.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, NULL)"));
    ReadFolderOptions(a);
    EXPECT_EQ(a.scanFolder, QString());
}

TEST(Startup, PageFoldersAreStoredRelativeOnlyWhenInsideTheWorkingFolder)
{
    using namespace WorkingFolder;
    const QString work = QStringLiteral("/data/img"); // compared as paths: it need not exist
    EXPECT_EQ(storedFolder(QStringLiteral(" /data/img/scan/ "), work), QStringLiteral("scan"));
    EXPECT_EQ(storedFolder(QStringLiteral("/data/img/a/../b"), work), QStringLiteral("b"));
    EXPECT_EQ(storedFolder(QStringLiteral("/data/img"), work), QStringLiteral("."));
    EXPECT_EQ(storedFolder(QStringLiteral("/data/img2/scan"), work), QStringLiteral("/data/img2/scan"));
    EXPECT_EQ(storedFolder(QStringLiteral("/data/img/../img2"), work), QStringLiteral("/data/img/../img2"));
    EXPECT_EQ(storedFolder(QStringLiteral("../shared"), work), QStringLiteral("/data/shared"));
    EXPECT_EQ(storedFolder(QStringLiteral(" "), work), QStringLiteral(" "));
    EXPECT_EQ(absoluteFolder(QStringLiteral("scan"), work), QStringLiteral("/data/img/scan"));
    EXPECT_EQ(absoluteFolder(QStringLiteral("."), work), work);
    EXPECT_EQ(absoluteFolder(QStringLiteral("/other/x/"), work), QStringLiteral("/other/x"));
    EXPECT_EQ(absoluteFolder(QStringLiteral(" "), work), QStringLiteral(" "));
}

TEST(Startup, ACopiedWorkingFolderUsesItsOwnPageFoldersAndOldAbsoluteOnesAreRewritten)
{
    QTemporaryDir original, elsewhere;
    WorkingFolder::init(original.path());
    const QDir copy(elsewhere.filePath(QStringLiteral("copy")));
    ASSERT_TRUE(copy.mkpath(QStringLiteral("scan")) && copy.mkpath(QStringLiteral("files")));
    ASSERT_TRUE(QFile::copy(QDir(original.path()).filePath(QStringLiteral("QV.MDB")),
                            copy.filePath(QStringLiteral("QV.MDB"))));
    const auto option = [](Database &db, int code) {
        Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM UserOP WHERE Code=%1").arg(code));
        return rs.field(QStringLiteral("Contents")).toString();
    };
    const QString outside = QDir(original.path()).filePath(QStringLiteral("files"));
    {
        Archive a(Database::open(copy.filePath(QStringLiteral("QV.MDB"))));
        Database &db = a.db;
        EXPECT_TRUE(ReadFolderOptions(a).isEmpty());
        EXPECT_EQ(a.scanFolder, copy.filePath(QStringLiteral("scan")));
        EXPECT_EQ(a.fileFolder, copy.filePath(QStringLiteral("files")));

        // As older versions stored them: absolute, here reached through a link to the copy.
        ASSERT_TRUE(QFile::link(copy.path(), elsewhere.filePath(QStringLiteral("link"))));
        db.executeNative(QStringLiteral("UPDATE UserOP SET Contents='%1' WHERE Code=11")
                             .arg(elsewhere.filePath(QStringLiteral("link/scan/"))));
        db.executeNative(QStringLiteral("UPDATE UserOP SET Contents='%1' WHERE Code=12").arg(outside));
    }
    InFolder here(copy.path());
    for (int run = 0; run < 2; ++run) {
        AlertAnswerer alerts;
        std::unique_ptr<Desk> desk =
            StartDesk([](const QString &, const QString &m) { FAIL() << m.toStdString(); });
        ASSERT_NE(desk, nullptr);
        EXPECT_EQ(option(desk->db, 11), QStringLiteral("scan"));
        EXPECT_EQ(option(desk->db, 12), outside);
        EXPECT_EQ(QDir(desk->scanFolder).canonicalPath(), copy.filePath(QStringLiteral("scan")));
        EXPECT_EQ(desk->fileFolder, outside);
        // The user hears of the rewrite once.
        EXPECT_EQ(alerts.texts().size(), 1 - run);
        if (run == 0 && !alerts.texts().isEmpty()) {
            EXPECT_TRUE(alerts.texts()[0].contains(QStringLiteral("スキャナデータパス")));
            EXPECT_FALSE(alerts.texts()[0].contains(QStringLiteral("ファイルデータパス")));
        }
    }
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
        EXPECT_EQ(desk->scanFolder, QDir(dir.path()).filePath(QStringLiteral("scan")));
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

TEST(Startup, ARepairedFileIsCountedInTheNoticeAndAnUnreadableOneOpensNoDesk)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    InFolder here(dir.path());
    const QString path = dir.filePath(QStringLiteral("QV.MDB"));
    {
        Database db = Database::open(path);
        for (int id = 1; id <= 300; ++id)
            db.executeNative(QStringLiteral("INSERT INTO DT (ID, Text1) VALUES (%1, '%2')")
                                 .arg(id)
                                 .arg(QString(400, u'x')));
    }
    QFile f(path);
    ASSERT_TRUE(f.resize(f.size() * 2 / 3));
    {
        AlertAnswerer alerts;
        std::unique_ptr<Desk> desk =
            StartDesk([](const QString &, const QString &m) { FAIL() << m.toStdString(); });
        ASSERT_NE(desk, nullptr);
        ASSERT_EQ(alerts.texts().size(), 1);
        const QString notice = alerts.texts().first();
        EXPECT_TRUE(
            notice.startsWith(QStringLiteral("QV.MDB が壊れていたため、読める行から作り直しました。\r")));
        EXPECT_TRUE(notice.contains(QStringLiteral("元のファイルは QV.MDB.bak1 に残してあります。")));
        EXPECT_TRUE(notice.contains(QStringLiteral("オプション 2・")));
        EXPECT_FALSE(notice.contains(QStringLiteral("レコード 0・"))) << notice.toStdString();
        EXPECT_TRUE(desk->card->isVisible());
    }

    // Nothing readable behind the header: the error box, no desk, and QV.MDB as it was.
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(100);
    f.write(QByteArray(f.size() - 100, '\0'));
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    QString text;
    const int windows = visibleWindows();
    EXPECT_EQ(StartDesk([&](const QString &, const QString &m) { text = m; }), nullptr);
    EXPECT_TRUE(text.contains(QStringLiteral("読める行が一つもありませんでした"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("QV.MDB.bak2")));
    EXPECT_EQ(visibleWindows(), windows);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

} // namespace
