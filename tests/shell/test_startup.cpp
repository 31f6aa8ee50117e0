#include "card/info_frm.h"
#include "db/db_error.h"
#include "db/schema.h"
#include "db/text_index.h"
#include "pages/drawing_frm.h"
#include "shell/desk.h"
#include "shell/startup.h"
#include "support/in_folder.h"
#include "support/modal.h"
#include "tools/working_folder.h"
#include "widgets/flex_grid.h"
#include "widgets/ui.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPointer>
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

TEST(Startup, AMissingEmptyOrNewerDatabaseIsReportedAndLeftAsItWas)
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

    // One made by a newer version is not touched, not even to repair it.
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("QV.MDB"))));
    {
        Database db = Database::create(dir.filePath(QStringLiteral("QV.MDB")));
        Schema::create(db);
        db.executeNative(QStringLiteral("PRAGMA user_version = 2"));
    }
    QFile file(dir.filePath(QStringLiteral("QV.MDB")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray newer = file.readAll();
    text = failedStart();
    EXPECT_EQ(text, QStringLiteral("エラー番号  4001Zumen.Database でエラーが発生しました。 \r"
                                   "QV.MDB はこのプログラムより新しい版で作られています (形式 2、"
                                   "このプログラムは 1 まで)。新しい版の Zumen で開いてください。"));
    EXPECT_EQ(StartDesk([&](const QString &, const QString &m) { text = m; }, StartCheck::Repair), nullptr);
    EXPECT_TRUE(text.contains(QStringLiteral("新しい版の Zumen で開いてください")));
    EXPECT_TRUE(file.seek(0));
    EXPECT_EQ(file.readAll(), newer);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("QV.MDB")});
}

// A file of an older version is upgraded before the windows show. One whose upgrade fails opens
// as it is, its searches scanning, with a notice; the next start tries again.
TEST(Startup, AnOlderDatabaseIsUpgradedOrOpenedAsItWasWithANotice)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    InFolder here(dir.path());
    {
        Database db = Database::open(WorkingFolder::DatabaseFile);
        // The dirty list left standing is in the way of the text index's own.
        for (const char *sql :
             {"INSERT INTO DT (ID, Str2) VALUES (1, 'ﾌﾟﾚｰﾄ台'), (2, 'ボルト')", "DROP TABLE DT_Text",
              "DROP TRIGGER DT_TextInsert", "DROP TRIGGER DT_TextUpdate", "DROP TRIGGER DT_TextDelete",
              "PRAGMA user_version = 0"})
            db.executeNative(QString::fromUtf8(sql));
    }
    for (int run = 0; run < 2; ++run) {
        AlertAnswerer alerts;
        std::unique_ptr<Desk> desk = start();
        ASSERT_NE(desk, nullptr);
        EXPECT_EQ(Schema::version(desk->db), run);
        EXPECT_EQ(
            desk->db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE PartialMatch(Str2, 'プレート')"))
                .recordCount(),
            1);
        if (run == 0) {
            ASSERT_EQ(alerts.texts().size(), 1);
            EXPECT_TRUE(alerts.texts()[0].startsWith(
                QStringLiteral("QV.MDB (形式 0) をこのプログラムの形式 1 に更新できませんでした。\r")));
            desk->db.executeNative(QStringLiteral("DROP TABLE DT_TextDirty"));
        } else {
            EXPECT_EQ(alerts.texts(), QStringList());
            EXPECT_TRUE(TextIndex::catchUp(desk->db));
        }
    }
    EXPECT_TRUE(QFile::exists(QStringLiteral("QV.MDB.v0.bak")) &&
                QFile::exists(QStringLiteral("QV.MDB.v0.bak2")));
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

// 300 records whose memos fill the file's later pages.
void addMemos(const QString &path)
{
    Database db = Database::open(path);
    Transaction t(db);
    for (int i = 0; i < 300; ++i)
        db.executeNative(QStringLiteral("INSERT INTO DT (Text1) VALUES ('%1')").arg(QString(400, u'x')));
    t.commit();
}

// Bytes over the last third of the file, and a changed file counter so that no reader trusts
// what it read before: what a disk that lost writes, or another program, leaves.
void damage(const QString &path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 from = f.size() * 2 / 3;
    ASSERT_TRUE(f.seek(from) && f.write(QByteArray(f.size() - from, '\x5A')) == f.size() - from);
    ASSERT_TRUE(f.seek(24) && f.write("\x7F\x7F\x7F\x7F", 4) == 4);
}

void noError(const QString &, const QString &text)
{
    ADD_FAILURE() << text.toStdString();
}

// What the rebuilt file holds, told once the windows are up.
void expectNotice(const QString &notice, int backup)
{
    EXPECT_TRUE(notice.startsWith(QStringLiteral("QV.MDB が壊れていたため、読める行から作り直しました。\r")))
        << notice.toStdString();
    EXPECT_TRUE(
        notice.contains(QStringLiteral("元のファイルは QV.MDB.bak%1 に残してあります。").arg(backup)));
    EXPECT_TRUE(notice.contains(QStringLiteral("オプション 2・")));
    EXPECT_FALSE(notice.contains(QStringLiteral("レコード 0・")));
}

// After a run that did not end cleanly the damage is repaired before the windows show; after a
// clean one the windows show at once, the check behind them finds it, and they close for the same
// repair. The marker of an open run goes with its clean end.
TEST(Startup, DamageIsRepairedBeforeTheWindowsAfterAnUncleanEndAndBehindThemOtherwise)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    InFolder here(dir.path());
    const QString path = dir.filePath(QStringLiteral("QV.MDB")), marker = dir.filePath(DeskRun::OpenMarker);
    for (const bool unclean : {true, false}) {
        SCOPED_TRACE(unclean ? "unclean end" : "clean end");
        addMemos(path);
        damage(path);
        if (unclean) {
            ASSERT_TRUE(QFile(marker).open(QIODevice::WriteOnly));
        }
        AlertAnswerer alerts;
        {
            DeskRun run(noError, [] { ADD_FAILURE() << "the program ended"; });
            ASSERT_TRUE(run.start());
            if (!unclean) {
                EXPECT_EQ(alerts.texts(), QStringList());
                const QPointer<Info_frm> first = run.desk()->card;
                ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 2; }, 30000));
                EXPECT_TRUE(
                    alerts.texts()[0].startsWith(QStringLiteral("QV.MDB に壊れたところが見つかりました。")));
                EXPECT_TRUE(first.isNull());
            }
            ASSERT_FALSE(alerts.texts().isEmpty());
            expectNotice(alerts.texts().last(), unclean ? 1 : 2);
            ASSERT_NE(run.desk(), nullptr);
            EXPECT_TRUE(run.desk()->viewer->isVisible());
            EXPECT_TRUE(QFile::exists(marker));
        }
        EXPECT_FALSE(QFile::exists(marker));
    }
}

// Damage an operation of the engine meets later goes the same way, with the windows opened from
// the desk closed first.
TEST(Startup, DamageAnOperationMeetsClosesTheWindowsForTheRepair)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    InFolder here(dir.path());
    const QString path = dir.filePath(QStringLiteral("QV.MDB"));
    addMemos(path);
    // Checked before the windows: nothing runs behind them to find the damage first.
    ASSERT_TRUE(QFile(dir.filePath(DeskRun::OpenMarker)).open(QIODevice::WriteOnly));
    AlertAnswerer alerts;
    DeskRun run(noError, [] { ADD_FAILURE() << "the program ended"; });
    ASSERT_TRUE(run.start());
    EXPECT_EQ(alerts.texts(), QStringList());
    run.desk()->card->findChild<QAction *>(QStringLiteral("OptionsAction"))->trigger();
    QPointer<QWidget> options;
    for (QWidget *w : QApplication::topLevelWidgets())
        options = w->isVisible() && w->windowTitle() == QStringLiteral("オプション") ? w : options.data();
    ASSERT_FALSE(options.isNull());
    damage(path);
    EXPECT_THROW(run.desk()->records.record(300), DbError);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 2; }, 30000));
    EXPECT_TRUE(options.isNull());
    expectNotice(alerts.texts().last(), 1);
    EXPECT_TRUE(run.desk()->card->isVisible());
}

} // namespace
