#include "card/info_frm.h"
#include "db/database.h"
#include "pages/drawing_frm.h"
#include "pages/get_dir_frm.h"
#include "pages/pain.h"
#include "pages/select_device_frm.h"
#include "support/modal.h"
#include "support/sane_test_backend.h"
#include "support/test_desk.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

void pickDevice(int index)
{
    whenModal([index](QWidget *w) {
        QTest::mouseClick(qobject_cast<SelectDevice_frm *>(w)->Command[static_cast<std::size_t>(index)],
                          Qt::LeftButton);
    });
}

// Walks the image file window as a user would: into each folder, then the file, then a button.
void pickFile(const QStringList &folders, const QString &file, int button = 0)
{
    whenModal([=](QWidget *w) {
        auto *import = qobject_cast<GetDir_frm *>(w);
        for (const QString &folder : folders) {
            import->Dir1->setCurrentItem(import->Dir1->findItems(folder, Qt::MatchExactly).value(0));
            QTest::keyClick(import->Dir1, Qt::Key_Return);
        }
        if (!file.isEmpty())
            import->File1->setCurrentItem(import->File1->findItems(file, Qt::MatchExactly).value(0));
        QTest::mouseClick(import->Command[static_cast<std::size_t>(button)], Qt::LeftButton);
    });
}

// What an independent reader says of a TIFF file.
QString tiffinfo(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    p.waitForFinished(30000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Records 1 to 7; record 7 has pages 1 and 5, record 3 none. files/ holds top.tif and A/B/x.jpg;
// scans come from SANE's test backend.
class Append : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QDir root(d.temp().folder());
        for (const char *folder : {"scan", "files/A/B", "files2"})
            root.mkpath(folder);
        QImage page(120, 80, QImage::Format_Grayscale8);
        page.fill(Qt::white);
        page.save(root.filePath(QStringLiteral("files/A/B/x.jpg")), "JPG");
        page.save(root.filePath(QStringLiteral("files/top.tif")), "TIFF");
        page.save(root.filePath(QStringLiteral("files2/other.bmp")), "BMP");
        scan = QDir(root.filePath(QStringLiteral("scan")));
        files = root.filePath(QStringLiteral("files"));
        d.exec(QStringLiteral(
            "INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'S', 1, '図番', ' ')"));
        d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, '%1'), (12, '%2')")
                   .arg(scan.path(), files));
        d.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 7) "
                              "INSERT INTO DT (ID, Namae) SELECT i, 'n' || i FROM n"));
        d.exec(QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (7, 1, 'A/B', 'x.jpg'), "
                              "(7, 5, '_SCAN', 'SC00000705.TIF')"));
        d.open();
    }
    Info_frm &card() { return *d.desk().card; }
    CardSession::Mode mode() { return card().session().mode; }
    // Chooses the scanner in the device window and answers the settings dialog.
    void scanWith(const QString &scanMode, bool pageMode)
    {
        whenModal([scanMode](QWidget *w) {
            answerScanSettings(scanMode, 100);
            QTest::mouseClick(qobject_cast<SelectDevice_frm *>(w)->Command[SelectDevice_frm::Scanner],
                              Qt::LeftButton);
        });
        card().DoAppend(pageMode);
    }
    bool scanned()
    {
        return QTest::qWaitFor([&] { return mode() == CardSession::Mode::New; }, 30000);
    }
    void save()
    {
        QTest::keyClick(card().eNamae, Qt::Key_Return);
        QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    }
    // "folder|file" of a page row as stored, blanks and all; empty when there is none.
    QString pageRow(int id, int page)
    {
        Statement st = d.desk().db.prepare(
            QStringLiteral("SELECT Dir || '|' || FileName FROM PG WHERE ID=?1 AND Page=?2"));
        st.bindAll({id, page});
        return st.step() ? st.column(0).toString() : QString();
    }
    bool recordExists(int id) { return d.desk().records.record(id).has_value(); }

    SaneTestBackend sane;
    QDir scan;
    QString files;
    TestDesk d;
};

TEST_F(Append, BackACancelledImportOrARecordWithoutPagesAddNothing)
{
    card().Display(7);
    pickDevice(SelectDevice_frm::Back);
    QTest::mouseClick(card().Command[0], Qt::LeftButton);
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("n7"));
    d.desk().viewer->pain->waitForPage();
    EXPECT_TRUE(d.desk().viewer->pain->hasImage());

    // A cancelled import leaves an empty card with the new identifier.
    pickDevice(SelectDevice_frm::File);
    pickFile({}, QString(), 1);
    card().DoAppend(false);
    EXPECT_EQ(card().ID->text(), QStringLiteral("8"));
    EXPECT_EQ(mode(), CardSession::Mode::View);
    EXPECT_FALSE(recordExists(8));

    card().Display(3);
    pickDevice(SelectDevice_frm::File);
    pickFile({}, QStringLiteral("top.tif"));
    AlertAnswerer alerts;
    card().DoAppend(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }));
    EXPECT_EQ(pageRow(3, 1), QString());
}

// A new record's page from the file folder itself has an empty folder, a page added later a blank.
TEST_F(Append, AFileBecomesANewRecordOrAPageAndAnAbandonedRecordLeavesIt)
{
    card().Display(7);
    pickDevice(SelectDevice_frm::File);
    pickFile({}, QStringLiteral("top.tif"));
    QTest::mouseClick(card().Command[0], Qt::LeftButton);
    EXPECT_EQ(d.desk().viewer->ID->accessibleName(), QStringLiteral("8")); // read out as shown
    EXPECT_EQ(card().eNamae->text(), QString());
    EXPECT_FALSE(recordExists(8)); // nothing is written before the save
    save();
    EXPECT_EQ(pageRow(8, 1), QStringLiteral("|top.tif"));

    // The viewer's "追加" adds a page to the record the card shows; the import opens where it was left.
    pickDevice(SelectDevice_frm::File);
    pickFile({QStringLiteral("A"), QStringLiteral("B")}, QStringLiteral("x.jpg"));
    QTest::mouseClick(d.desk().viewer->Command[0], Qt::LeftButton);
    EXPECT_EQ(pageRow(8, 2), QStringLiteral("A/B|x.jpg"));
    pickDevice(SelectDevice_frm::File);
    pickFile({QStringLiteral(".."), QStringLiteral("..")}, QStringLiteral("top.tif"));
    card().DoAppend(true);
    EXPECT_EQ(pageRow(8, 3), QStringLiteral(" |top.tif"));

    pickDevice(SelectDevice_frm::File);
    pickFile({}, QStringLiteral("top.tif"));
    card().DoAppend(false);
    chooseUpperOption();
    QTest::keyClick(card().eNamae, Qt::Key_Escape);
    EXPECT_FALSE(recordExists(9));
    EXPECT_TRUE(QFileInfo::exists(QDir(files).filePath(QStringLiteral("top.tif"))));
    EXPECT_EQ(card().ID->text(), QStringLiteral("8"));
}

TEST_F(Append, TheImportRefusesFoldersOutsideTheFileFolderAndAMissingChoice)
{
    AlertAnswerer alerts;
    pickDevice(SelectDevice_frm::File);
    whenModal([this](QWidget *w) {
        auto *import = qobject_cast<GetDir_frm *>(w);
        // Outside: the folder above, and a sibling whose name merely starts the same.
        import->setPath(QDir(files).filePath(QStringLiteral("..")));
        QTest::mouseClick(import->Command[0], Qt::LeftButton);
        import->setPath(files + QStringLiteral("2"));
        import->File1->setCurrentRow(0);
        QTest::mouseClick(import->Command[0], Qt::LeftButton);
        // Inside, but no file chosen.
        import->setPath(files);
        QTest::mouseClick(import->Command[0], Qt::LeftButton);
        import->close(); // the close box cancels
    });
    card().DoAppend(false);
    EXPECT_EQ(alerts.texts(), (QStringList{QStringLiteral("設定のフォルダと異なります。"),
                                           QStringLiteral("設定のフォルダと異なります。"),
                                           QStringLiteral("取り込むファイルを選んでください。")}));
    EXPECT_EQ(mode(), CardSession::Mode::View);
}

// 追加 while another program holds the file: no number can be read, so no import opens and the
// card keeps record 5.
TEST_F(Append, AddingWhileTheFileIsLockedStartsNothing)
{
    card().Display(5);
    sqlite3_busy_timeout(d.desk().db.handle(), 50);
    d.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    AlertAnswerer alerts;
    bool importOpened = false;
    QTimer importCloser;
    QObject::connect(&importCloser, &QTimer::timeout, [&] {
        if (auto *import = qobject_cast<GetDir_frm *>(QApplication::activeModalWidget()))
            importOpened = import->close();
    });
    importCloser.start(5);
    pickDevice(SelectDevice_frm::File);
    card().DoAppend(false);
    d.exec(QStringLiteral("ROLLBACK"));
    ASSERT_EQ(alerts.texts().size(), 1);
    EXPECT_TRUE(alerts.texts()[0].startsWith(QStringLiteral("3260\r"))) << alerts.texts()[0].toStdString();
    EXPECT_FALSE(importOpened);
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("n5"));
}

// A new record by scan is saved with its page. Esc asks first: "入力を続ける" (preselected) keeps
// the entry, "取り消す" (here through 終了) leaves neither record nor scan.
TEST_F(Append, ANewRecordByScanIsSavedWithItsPageOrLeavesNothing)
{
    card().Display(7);
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(scanned());
    ASSERT_TRUE(QTest::qWaitFor([&] { return card().eNamae->hasFocus(); }));
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    QString asked;
    whenModal([&](QWidget *w) {
        asked = w->windowTitle() + u' ' + w->findChild<QLabel *>(QStringLiteral("Message"))->text();
        pressKey(w, Qt::Key_Return);
    });
    QTest::keyClick(card().eNaiyou, Qt::Key_Escape);
    EXPECT_EQ(asked, QStringLiteral("選択 入力を取り消しますか"));
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    EXPECT_EQ(pageRow(8, 1), QStringLiteral("_SCAN|SC000008.TIF"));

    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(scanned());
    ASSERT_TRUE(scan.exists(QStringLiteral("SC000009.TIF")));
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    chooseUpperOption();
    QTest::mouseClick(card().Command[6], Qt::LeftButton);
    EXPECT_FALSE(scan.exists(QStringLiteral("SC000009.TIF")));
    EXPECT_FALSE(recordExists(9));
    EXPECT_EQ(card().ID->text(), QStringLiteral("8")); // the record shown before 追加
    EXPECT_TRUE(d.ended());
}

// Bilevel pages are Group 4 at the chosen resolution, grey and colour lossless; a page is
// recorded at once.
TEST_F(Append, EachScanModeIsStoredInItsLosslessKind)
{
    const std::pair<QString, QStringList> modes[] = {
        {QStringLiteral("白黒"), {"CCITT Group 4", "Resolution: 100, 100 pixels/inch"}},
        {QStringLiteral("グレー"), {"Compression Scheme: LZW", "Bits/Sample: 8"}},
        {QStringLiteral("カラー"), {"Compression Scheme: LZW", "Samples/Pixel: 3"}}};
    card().Display(7);
    int page = 6;
    for (const auto &[scanMode, expected] : modes) {
        const QString file = QStringLiteral("SC0000070%1.TIF").arg(page);
        scanWith(scanMode, true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !pageRow(7, page).isEmpty(); }, 30000));
        EXPECT_EQ(pageRow(7, page++), QStringLiteral("_SCAN|") + file);
        const QString info = tiffinfo(scan.filePath(file));
        for (const QString &line : expected)
            EXPECT_TRUE(info.contains(line)) << info.toStdString();
    }
}

TEST_F(Append, AScanThatCannotBeWrittenIsToldAndRecordedNowhere)
{
    AlertAnswerer alerts;
    scan.removeRecursively(); // the scanner data folder has gone
    card().Display(7);
    scanWith(QStringLiteral("白黒"), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }, 30000));
    EXPECT_TRUE(alerts.texts()[0].startsWith(QStringLiteral("スキャンしたページを保存できませんでした。\r")));
    EXPECT_TRUE(alerts.texts()[0].contains(QStringLiteral("SC00000706.TIF")));
    EXPECT_EQ(pageRow(7, 6), QString());
    // A new record whose scan could not be written never points at any page.
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 2; }, 30000));
    EXPECT_NE(mode(), CardSession::Mode::New);
    EXPECT_TRUE(card().session().pendingFile.isEmpty());
}

// From the feeder (its ten sheets) one 追加 makes one record: page 1 as today, every further
// sheet its next page in order, all recorded with the save; the end says how many came.
TEST_F(Append, AFeederBatchBecomesOneRecordWithEverySheetInOrder)
{
    d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (16, 'Automatic Document Feeder')"));
    AlertAnswerer alerts;
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return card().eNamae->hasFocus(); }, 60000));
    EXPECT_EQ(alerts.texts(), QStringList{QStringLiteral("10 枚を取り込みました。")});
    EXPECT_TRUE(scan.exists(QStringLiteral("SC00000810.TIF")));
    EXPECT_EQ(pageRow(8, 2), QString()); // nothing is recorded before the save
    save();
    EXPECT_EQ(pageRow(8, 1), QStringLiteral("_SCAN|SC000008.TIF"));
    for (int page = 2; page <= 10; ++page)
        EXPECT_EQ(pageRow(8, page),
                  QStringLiteral("_SCAN|SC000008%1.TIF").arg(page, 2, 10, QLatin1Char('0')));
    EXPECT_EQ(pageRow(8, 11), QString());
    EXPECT_TRUE(
        tiffinfo(scan.filePath(QStringLiteral("SC00000805.TIF"))).contains(QStringLiteral("CCITT Group 4")));
}

// 中止 mid-batch in the viewer's 追加 (the other device's feeder, read slowly): the sheets
// already in stay the record's next pages, with no gap and nothing after them.
TEST_F(Append, StoppingAFeederBatchKeepsTheSheetsAlreadyIn)
{
    sane.setOption(QStringLiteral("read-delay"), QStringLiteral("true"));
    sane.setOption(QStringLiteral("read-delay-duration"), QStringLiteral("100000"));
    d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (13, 'test:1'), "
                          "(16, 'Automatic Document Feeder')"));
    AlertAnswerer alerts;
    card().Display(7);
    scanWith(QStringLiteral("グレー"), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pageRow(7, 7).isEmpty(); }, 60000));
    QWidget *progress = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("ScanProgress") && w->isVisible())
            progress = w;
    ASSERT_NE(progress, nullptr);
    const auto *message = progress->findChild<QLabel *>(QStringLiteral("Message"));
    EXPECT_TRUE(message->text().endsWith(QStringLiteral("枚目を読み取っています…")));
    EXPECT_EQ(message->accessibleName(), message->text());
    progress->findChild<QPushButton *>(QStringLiteral("Command"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }, 60000));

    int last = 7;
    while (!pageRow(7, last + 1).isEmpty())
        ++last;
    EXPECT_LT(last, 15);
    EXPECT_EQ(alerts.texts()[0],
              QStringLiteral("中止しました。それまでの %1 枚は取り込みました。").arg(last - 5));
    for (int page = 6; page <= last; ++page)
        EXPECT_TRUE(scan.exists(QStringLiteral("SC000007%1.TIF").arg(page, 2, 10, QLatin1Char('0'))));
}

TEST_F(Append, NoScannerIsToldInPlainWords)
{
    sane.removeBackend();
    AlertAnswerer alerts;
    pickDevice(SelectDevice_frm::Scanner);
    card().DoAppend(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }, 30000));
    EXPECT_EQ(alerts.texts()[0], QStringLiteral("スキャナを正しく接続してください。"));
}

} // namespace
