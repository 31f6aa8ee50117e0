#include "card/info_frm.h"
#include "pages/drawing_frm.h"
#include "pages/select_device_frm.h"
#include "support/modal.h"
#include "support/sane_test_backend.h"
#include "support/test_desk.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// What an independent reader says of a TIFF file.
QString tiffinfo(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    p.waitForFinished(30000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Records 1 to 7; record 7 has pages 1 and 2, record 3 none. Scans come from SANE's test backend.
class ScanAppend : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QDir root(d.temp().folder());
        root.mkpath(QStringLiteral("scan"));
        scan = root.filePath(QStringLiteral("scan"));
        d.exec(QStringLiteral(
            "INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'S', 1, '図番', ' ')"));
        d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, '%1'), (12, '%2')")
                   .arg(scan, root.filePath(QStringLiteral("files"))));
        d.exec(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (1, 'a'), (3, 'c'), (7, 'seven')"));
        d.exec(
            QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (7, 1, '_SCAN', 'SC000007.TIF'), "
                           "(7, 2, '_SCAN', 'SC00000702.TIF')"));
        d.open();
    }
    Info_frm &card() { return *d.desk().card; }
    // Chooses the scanner in the device window and answers the settings dialog.
    void scanWith(const QString &mode, bool pageMode)
    {
        whenModal([mode](QWidget *w) {
            answerScanSettings(mode, 100);
            QTest::mouseClick(qobject_cast<SelectDevice_frm *>(w)->Command[SelectDevice_frm::Scanner],
                              Qt::LeftButton);
        });
        card().DoAppend(pageMode);
    }
    long long pageCount(int id)
    {
        return d.desk()
            .db.openRecordset(QStringLiteral("SELECT * FROM PG WHERE ID=%1").arg(id))
            .recordCount();
    }

    SaneTestBackend sane;
    QString scan;
    TestDesk d;
};

TEST(ScanFileName, PadsToItsWidthAndWritesLargerNumbersWhole)
{
    EXPECT_EQ(ScanFileName(123, std::nullopt), QStringLiteral("SC000123.TIF"));
    EXPECT_EQ(ScanFileName(123, 2), QStringLiteral("SC00012302.TIF"));
    EXPECT_EQ(ScanFileName(123, 12), QStringLiteral("SC00012312.TIF"));
    EXPECT_EQ(ScanFileName(123, 100), QStringLiteral("SC000123100.TIF"));
    EXPECT_EQ(ScanFileName(1234567, std::nullopt), QStringLiteral("SC1234567.TIF"));
}

TEST_F(ScanAppend, ANewRecordByScanIsAGroup4PageThatTheSaveRecords)
{
    card().Display(7);
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return card().session().mode == CardSession::Mode::New; }, 30000));
    EXPECT_EQ(card().ID->text(), QStringLiteral("8"));
    EXPECT_EQ(card().session().pendingDir, QStringLiteral("_SCAN"));
    EXPECT_EQ(card().session().pendingFile, QStringLiteral("SC000008.TIF"));
    const QString info = tiffinfo(QDir(scan).filePath(QStringLiteral("SC000008.TIF")));
    EXPECT_TRUE(info.contains(QLatin1String("CCITT Group 4"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QLatin1String("Resolution: 100, 100 pixels/inch"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QLatin1String("Bits/Sample: 1")));

    EXPECT_TRUE(QTest::qWaitFor([&] { return card().eNamae->hasFocus(); }));
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    Recordset page = d.desk().db.openRecordset(QStringLiteral("SELECT * FROM PG WHERE ID=8"));
    ASSERT_FALSE(page.eof());
    EXPECT_EQ(page.field(QStringLiteral("Dir")), Variant("_SCAN"));
    EXPECT_EQ(page.field(QStringLiteral("FileName")), Variant("SC000008.TIF"));
}

// Esc in a new record's entry asks first; "入力を続ける" (the preselected answer) keeps the entry,
// "取り消す" leaves neither a record nor the scanned file that only it referenced.
TEST_F(ScanAppend, AnAbandonedNewRecordLeavesNeitherARecordNorItsScan)
{
    card().Display(7);
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return card().session().mode == CardSession::Mode::New; }, 30000));
    const QString file = QDir(scan).filePath(QStringLiteral("SC000008.TIF"));
    ASSERT_TRUE(QFileInfo::exists(file));
    ASSERT_TRUE(QTest::qWaitFor([&] { return card().eNamae->hasFocus(); }));
    QTest::keyClick(card().eNamae, Qt::Key_Return);

    QString asked;
    whenModal([&](QWidget *w) {
        asked = w->windowTitle() + u' ' + w->findChild<QLabel *>(QStringLiteral("Message"))->text();
        pressKey(w, Qt::Key_Return);
    });
    QTest::keyClick(card().eNaiyou, Qt::Key_Escape);
    EXPECT_EQ(asked, QStringLiteral("選択 入力を取り消しますか"));
    EXPECT_EQ(card().session().mode, CardSession::Mode::New);
    EXPECT_TRUE(card().eNaiyou->isVisible());

    // 終了 in the middle of the entry asks the same; yes discards, then the program ends.
    chooseUpperOption();
    QTest::mouseClick(card().Command[6], Qt::LeftButton);
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_TRUE(d.desk().db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID=8")).eof());
    EXPECT_EQ(card().ID->text(), QStringLiteral("7")); // the record shown before 追加
    EXPECT_EQ(pageCount(7), 2);
    EXPECT_TRUE(d.ended());
}

// Two desks on one folder: a scan never replaces another desk's waiting scan, and a save never
// replaces a record saved meanwhile; its scan is renamed to the number it is saved under.
TEST_F(ScanAppend, TwoDesksNeverShareANumberOrAScanFile)
{
    const QDir folder(scan);
    const auto writeFile = [&](const QString &name, const QByteArray &bytes) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    const auto bytes = [&](const QString &name) {
        QFile f(folder.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    writeFile(QStringLiteral("SC000008.TIF"), "the other desk's scan");
    card().Display(7);
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return card().session().mode == CardSession::Mode::New; }, 30000));
    EXPECT_EQ(card().ID->text(), QStringLiteral("9"));
    EXPECT_EQ(card().session().pendingFile, QStringLiteral("SC000009.TIF"));
    EXPECT_EQ(bytes(QStringLiteral("SC000008.TIF")), QByteArray("the other desk's scan"));

    // Meanwhile the other desk saves 8 and 9 and scans for 10.
    d.exec(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (8, 'other'), (9, 'other too')"));
    d.exec(QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (8, 1, '_SCAN', 'SC000008.TIF'),"
                          " (9, 1, ' ', 'x.jpg')"));
    writeFile(QStringLiteral("SC000010.TIF"), "the other desk's next scan");
    const QByteArray mine = bytes(QStringLiteral("SC000009.TIF"));
    typeText(card().eNamae, QStringLiteral("mine"));
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    EXPECT_EQ(card().ID->text(), QStringLiteral("11"));
    EXPECT_EQ(bytes(QStringLiteral("SC000011.TIF")), mine);
    EXPECT_FALSE(folder.exists(QStringLiteral("SC000009.TIF")));
    EXPECT_EQ(bytes(QStringLiteral("SC000010.TIF")), QByteArray("the other desk's next scan"));
    Recordset page = d.desk().db.openRecordset(QStringLiteral("SELECT * FROM PG WHERE ID=11"));
    ASSERT_FALSE(page.eof());
    EXPECT_EQ(page.field(QStringLiteral("FileName")), Variant("SC000011.TIF"));
    page.close();
    Recordset other = d.desk().db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID=9"));
    EXPECT_EQ(other.field(QStringLiteral("Namae")), Variant("other too"));
    other.close();

    // A scan that cannot be renamed (gone from the folder): nothing is saved, the user hears
    // why, and the entry stays for another try.
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return card().session().mode == CardSession::Mode::New; }, 30000));
    ASSERT_EQ(card().ID->text(), QStringLiteral("12"));
    d.exec(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (12, 'other again')"));
    ASSERT_TRUE(QFile::remove(folder.filePath(QStringLiteral("SC000012.TIF"))));
    AlertAnswerer alerts;
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    ASSERT_EQ(alerts.texts().size(), 1);
    EXPECT_TRUE(alerts.texts()[0].contains(QStringLiteral("レコードを保存できませんでした。")))
        << alerts.texts()[0].toStdString();
    EXPECT_EQ(card().session().mode, CardSession::Mode::New);
    EXPECT_EQ(d.desk().db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID>=12")).recordCount(), 1);
    EXPECT_EQ(pageCount(12) + pageCount(13), 0);
}

TEST_F(ScanAppend, GreyAndColourPagesGoAfterTheHighestLosslessAndAreRecordedAtOnce)
{
    card().Display(7);
    scanWith(QStringLiteral("グレー"), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageCount(7) == 3; }, 30000));
    Recordset page = d.desk().db.openRecordset(QStringLiteral("SELECT * FROM PG WHERE ID=7 AND Page=3"));
    EXPECT_EQ(page.field(QStringLiteral("FileName")), Variant("SC00000703.TIF"));
    const QString info = tiffinfo(QDir(scan).filePath(QStringLiteral("SC00000703.TIF")));
    EXPECT_TRUE(info.contains(QLatin1String("Compression Scheme: LZW"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QLatin1String("Bits/Sample: 8")));
    EXPECT_TRUE(info.contains(QLatin1String("Resolution: 100, 100")));
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);

    scanWith(QStringLiteral("カラー"), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageCount(7) == 4; }, 30000));
    const QString colour = tiffinfo(QDir(scan).filePath(QStringLiteral("SC00000704.TIF")));
    EXPECT_TRUE(colour.contains(QLatin1String("Compression Scheme: LZW"))) << colour.toStdString();
    EXPECT_TRUE(colour.contains(QLatin1String("Samples/Pixel: 3")));
}

TEST_F(ScanAppend, APageThatCannotBeWrittenIsToldAndRecordedNowhere)
{
    QDir(scan).removeRecursively(); // the scanner data folder has gone
    card().Display(7);
    AlertAnswerer alerts;
    scanWith(QStringLiteral("白黒"), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }, 30000));
    EXPECT_TRUE(alerts.texts()[0].startsWith(QStringLiteral("スキャンしたページを保存できませんでした。\r")));
    EXPECT_TRUE(alerts.texts()[0].contains(QStringLiteral("SC00000703.TIF")));
    EXPECT_EQ(pageCount(7), 2);

    // A new record whose scan could not be written never points at any page.
    scanWith(QStringLiteral("白黒"), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 2; }, 30000));
    EXPECT_NE(card().session().mode, CardSession::Mode::New);
    EXPECT_TRUE(card().session().pendingFile.isEmpty());
}

TEST_F(ScanAppend, NoScannerIsToldInPlainWords)
{
    sane.removeBackend();
    AlertAnswerer alerts;
    whenModal([](QWidget *w) {
        QTest::mouseClick(qobject_cast<SelectDevice_frm *>(w)->Command[SelectDevice_frm::Scanner],
                          Qt::LeftButton);
    });
    card().DoAppend(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }, 30000));
    EXPECT_EQ(alerts.texts()[0], QStringLiteral("スキャナを正しく接続してください。"));
}

} // namespace
