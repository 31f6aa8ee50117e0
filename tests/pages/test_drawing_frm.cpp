#include "app/combo_setting.h"
#include "app/ui.h"
#include "app/working_folder.h"
#include "card/info_frm.h"
#include "pages/drawing_frm.h"
#include "pages/pain.h"
#include "pages/sample_drawing.h"
#include "pages/tiff_io.h"
#include "support/in_folder.h"
#include "support/modal.h"
#include "support/test_desk.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// Record 5 has pages 1 to 3 (page 2 a JPEG below the file folder), record 6 one page whose
// file is missing, record 7 a damaged file, record 8 a page under a lower-case "_scan" folder.
class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        here = std::make_unique<InFolder>(d.temp().folder());
        const QDir root(d.temp().folder());
        root.mkpath(QStringLiteral("scan"));
        root.mkpath(QStringLiteral("files/sub"));
        root.mkpath(QStringLiteral("files/_scan"));
        writeBilevelTiff(placeholderPage(), root.filePath(WorkingFolder::PlaceholderImage), 200);
        page = sampleDrawing(QStringLiteral("A-5"), QStringLiteral("page"), 5, QSize(400, 300));
        writeBilevelTiff(page, root.filePath(QStringLiteral("scan/SC000005.TIF")), 200);
        writeBilevelTiff(page, root.filePath(QStringLiteral("scan/SC00000503.TIF")), 200);
        page.save(root.filePath(QStringLiteral("files/sub/photo.jpg")), "JPG");
        page.save(root.filePath(QStringLiteral("files/_scan/low.bmp")), "BMP");
        QFile damaged(root.filePath(QStringLiteral("scan/SC000007.TIF")));
        damaged.open(QIODevice::WriteOnly);
        damaged.write("II*\0garbage", 11);
        damaged.close();
        d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, '%1'), (12, '%2')")
                   .arg(root.filePath(QStringLiteral("scan")), root.filePath(QStringLiteral("files"))));
        d.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (5), (6), (7), (8)"));
        d.exec(QStringLiteral(
            "INSERT INTO PG (ID, Page, Dir, FileName) VALUES "
            "(5, 1, '_SCAN', 'SC000005.TIF'), (5, 2, 'sub', 'photo.jpg'), (5, 3, '_SCAN', "
            "'SC00000503.TIF'), (6, 1, '_SCAN', 'SC000006.TIF'), (7, 1, '_SCAN', 'SC000007.TIF'),"
            "(8, 1, '_scan', 'low.bmp')"));
        d.open();
    }
    Drawing_frm &viewer() { return *d.desk().viewer; }
    QString shown() { return QFileInfo(viewer().pain->image()).fileName(); }

    std::unique_ptr<InFolder> here;
    QImage page;
    TestDesk d;
};

TEST_F(Viewer, PagesTurnOneNumberAtATimeWithinTheRecord)
{
    d.desk().card->Display(5);
    EXPECT_EQ(viewer().ID->text(), QStringLiteral("5-1"));
    EXPECT_EQ(shown(), QStringLiteral("SC000005.TIF"));
    QTest::mouseClick(viewer().Command[1], Qt::LeftButton); // no page 0
    EXPECT_EQ(viewer().CurrentPage, 1);
    QTest::mouseClick(viewer().Command[2], Qt::LeftButton);
    EXPECT_EQ(viewer().ID->text(), QStringLiteral("5-2"));
    EXPECT_EQ(shown(), QStringLiteral("photo.jpg"));
    QTest::mouseClick(viewer().Command[2], Qt::LeftButton);
    QTest::mouseClick(viewer().Command[2], Qt::LeftButton);
    EXPECT_EQ(viewer().ID->text(), QStringLiteral("5-3"));
    EXPECT_EQ(viewer().ID->accessibleName(), QStringLiteral("5-3"));
    QTest::mouseClick(viewer().Command[1], Qt::LeftButton);
    EXPECT_EQ(viewer().CurrentPage, 2);

    // A lower-case "_scan" is a folder below the file folder, not the scanner folder.
    viewer().Display(8, 1);
    EXPECT_EQ(viewer().ID->text(), QStringLiteral("8"));
    EXPECT_EQ(shown(), QStringLiteral("low.bmp"));
    QTest::mouseClick(viewer().Command[2], Qt::LeftButton); // one page: nothing to turn
    EXPECT_EQ(viewer().CurrentPage, 1);
}

TEST_F(Viewer, AMissingOrDamagedFileShowsThePlaceholder)
{
    viewer().Display(6, 1);
    EXPECT_EQ(shown(), WorkingFolder::PlaceholderImage);
    EXPECT_TRUE(viewer().pain->hasImage());
    viewer().Display(7, 1);
    EXPECT_EQ(shown(), WorkingFolder::PlaceholderImage);
    viewer().Display(5, 9); // no such page: the display keeps what it showed
    EXPECT_EQ(shown(), WorkingFolder::PlaceholderImage);
    EXPECT_EQ(viewer().ID->text(), QStringLiteral("5"));
}

TEST_F(Viewer, TheZoomStartsWholeStaysFromRecordToRecordAndIsKeptForTheNextStart)
{
    EXPECT_EQ(viewer().cScale->currentText(), QStringLiteral("全体")); // nothing stored yet
    EXPECT_TRUE(viewer().pain->fitsToWindow());
    // A screen reader names the list by what it is, and reads the entry as its value.
    QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(viewer().cScale);
    ASSERT_NE(spoken, nullptr);
    EXPECT_EQ(spoken->text(QAccessible::Name), QStringLiteral("表示倍率"));
    EXPECT_EQ(spoken->text(QAccessible::Value), QStringLiteral("全体"));

    d.desk().card->Display(5);
    viewer().cScale->setCurrentIndex(0);
    EXPECT_EQ(viewer().pain->zoom(), 25);
    EXPECT_EQ(spoken->text(QAccessible::Name), QStringLiteral("表示倍率"));
    d.desk().card->GoNext();
    EXPECT_EQ(viewer().cScale->currentIndex(), 0);
    EXPECT_EQ(viewer().pain->zoom(), 25);

    Drawing_frm next(d.desk());
    EXPECT_EQ(SelectedItemData(*next.cScale), 25);
    EXPECT_EQ(next.pain->zoom(), 25);
    // A stored value the list does not have gives the whole page again.
    d.exec(QStringLiteral("UPDATE UserOP SET Contents='37' WHERE Code=20"));
    Drawing_frm other(d.desk());
    EXPECT_EQ(SelectedItemData(*other.cScale), FitZoom);
}

TEST_F(Viewer, RotationIsWrittenToTheFile)
{
    d.desk().card->Display(5);
    const QString path = viewer().pain->image();
    QTest::mouseClick(viewer().CmdRotate[1], Qt::LeftButton);
    QImageReader reader(path);
    EXPECT_EQ(reader.size(), QSize(page.height(), page.width()));
    const QImage turned = reader.read();
    EXPECT_EQ(turned.depth(), 1); // still a bilevel page
    QTest::mouseClick(viewer().CmdRotate[0], Qt::LeftButton);
    EXPECT_EQ(QImageReader(path).size(), page.size());
}

TEST_F(Viewer, PrintingGoesToTheChosenPrinter)
{
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("page.pdf"));
    viewer().choosePrinter = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    {
        AlertAnswerer alerts;
        QTest::mouseClick(viewer().Prt, Qt::LeftButton); // nothing shown yet
        EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }));
        EXPECT_EQ(alerts.texts(), QStringList{QStringLiteral("ピクチャーがありません。")});
    }
    d.desk().card->Display(5);
    QTest::mouseClick(viewer().Prt, Qt::LeftButton);
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5).startsWith("%PDF"));

    viewer().choosePrinter = [](QPrinter &) { return false; }; // cancelled: nothing at all
    AlertAnswerer none;
    QTest::mouseClick(viewer().Prt, Qt::LeftButton);
    QTest::qWait(50);
    EXPECT_TRUE(none.texts().isEmpty());
}

TEST_F(Viewer, NeverNarrowerThanAnInch)
{
    viewer().resize(10, 10);
    EXPECT_GE(viewer().width(), twipsToPixels(1440));
    EXPECT_GE(viewer().height(), twipsToPixels(1440));
}

} // namespace
