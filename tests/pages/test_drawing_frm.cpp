#include "card/info_frm.h"
#include "imaging/page_image.h"
#include "imaging/tiff_io.h"
#include "pages/drawing_frm.h"
#include "pages/pain.h"
#include "support/modal.h"
#include "support/page_files.h"
#include "support/test_desk.h"
#include "tools/sample_drawing.h"
#include "tools/working_folder.h"
#include "widgets/combo_setting.h"
#include "widgets/ui.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace zumen;

namespace {

// Record 5 has pages 1 to 3 (page 2 a JPEG below the file folder), record 6 one page whose
// file is missing, record 8 a page under a lower-case "_scan" folder.
class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
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
        d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, '%1'), (12, '%2')")
                   .arg(root.filePath(QStringLiteral("scan")), root.filePath(QStringLiteral("files"))));
        d.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (5), (6), (8)"));
        d.exec(
            QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (5, 1, '_SCAN', 'SC000005.TIF'), "
                           "(5, 2, 'sub', 'photo.jpg'), (5, 3, '_SCAN', 'SC00000503.TIF'), "
                           "(6, 1, '_SCAN', 'SC000006.TIF'), (8, 1, '_scan', 'low.bmp')"));
        d.open();
    }
    Drawing_frm &viewer() { return *d.desk().viewer; }
    // The file of the page shown, once the one asked for last is decoded.
    QString shown()
    {
        viewer().pain->waitForPage();
        return QFileInfo(viewer().pain->image()).fileName();
    }
    void click(QWidget *button) { QTest::mouseClick(button, Qt::LeftButton); }

    QImage page;
    TestDesk d;
};

TEST_F(Viewer, PagesTurnOneNumberAtATimeWithinTheRecord)
{
    d.desk().card->Display(5);
    EXPECT_EQ(shown(), QStringLiteral("SC000005.TIF"));
    click(viewer().Command[1]); // no page 0
    EXPECT_EQ(viewer().CurrentPage, 1);
    for (int i = 0; i < 3; ++i)
        click(viewer().Command[2]);
    EXPECT_EQ(viewer().ID->text(), QStringLiteral("5-3"));
    EXPECT_EQ(viewer().ID->accessibleName(), QStringLiteral("5-3"));
    click(viewer().Command[1]);
    EXPECT_EQ(shown(), QStringLiteral("photo.jpg"));
    // Once the card has put another record's number up, there is nothing to turn.
    setLabelText(*viewer().ID, QStringLiteral("9"));
    click(viewer().Command[2]);
    EXPECT_EQ(viewer().CurrentPage, 2);

    // A lower-case "_scan" is a folder below the file folder, not the scanner folder.
    viewer().Display(8, 1);
    EXPECT_EQ(viewer().ID->text(), QStringLiteral("8"));
    EXPECT_EQ(shown(), QStringLiteral("low.bmp"));
}

TEST_F(Viewer, AMissingFileShowsThePlaceholderThatNoTurnChanges)
{
    const QByteArray placeholder = fileBytes(WorkingFolder::PlaceholderImage);
    viewer().Display(6, 1);
    EXPECT_EQ(shown(), WorkingFolder::PlaceholderImage);
    // The placeholder stands for every such page: turning it would turn them all.
    const QSize upright = viewer().pain->imagePixelSize();
    click(viewer().CmdRotate[1]);
    EXPECT_EQ(viewer().pain->imagePixelSize(), upright);
    EXPECT_EQ(fileBytes(WorkingFolder::PlaceholderImage), placeholder);
    viewer().Display(5, 9); // no such page: the display keeps what it showed
    EXPECT_EQ(shown(), WorkingFolder::PlaceholderImage);
}

TEST_F(Viewer, TheZoomStartsWholeStaysFromRecordToRecordAndIsKeptForTheNextStart)
{
    EXPECT_EQ(viewer().cScale->currentText(), QStringLiteral("全体")); // nothing stored yet
    EXPECT_TRUE(viewer().pain->fitsToWindow());
    d.desk().card->Display(5);
    viewer().cScale->setCurrentIndex(0);
    EXPECT_EQ(viewer().pain->zoom(), 25);
    // A screen reader names the list by what it is, and reads the entry as its value.
    QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(viewer().cScale);
    ASSERT_NE(spoken, nullptr);
    EXPECT_EQ(spoken->text(QAccessible::Name), QStringLiteral("表示倍率"));
    EXPECT_EQ(spoken->text(QAccessible::Value), viewer().cScale->currentText());
    d.desk().card->GoNext();
    EXPECT_EQ(viewer().pain->zoom(), 25);

    EXPECT_EQ(Drawing_frm(d.desk()).pain->zoom(), 25);
    // A stored value the list does not have gives the whole page again.
    d.exec(QStringLiteral("UPDATE UserOP SET Contents='37' WHERE Code=20"));
    EXPECT_EQ(SelectedItemData(*Drawing_frm(d.desk()).cScale), FitZoom);
}

// How a turn goes into each kind of file is the page image's business; here, that the
// viewer writes it back, and says so when it cannot without losing the file's other pages.
TEST_F(Viewer, RotationIsWrittenBackUnlessOtherPagesWouldBeLost)
{
    click(viewer().CmdRotate[1]); // nothing shown: nothing happens
    d.desk().card->Display(5);
    click(viewer().CmdRotate[1]);
    EXPECT_EQ(QImageReader(viewer().pain->image()).size(), page.size().transposed());

    const QString book = d.temp().folder() + QStringLiteral("/files/sub/book.tif");
    writeTiffPages(book, {{page}, {testGreyDrawing()}, {testDrawing()}});
    const QByteArray cut = fileBytes(book).left(fileBytes(book).size() - 100);
    writeBytes(book, cut);
    viewer().DisplayByFileName(QStringLiteral("sub"), QStringLiteral("book.tif"));
    AlertAnswerer alerts;
    click(viewer().CmdRotate[1]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }));
    ASSERT_EQ(alerts.texts().size(), 1);
    EXPECT_TRUE(alerts.texts()[0].contains(QStringLiteral("ほかのページ")))
        << alerts.texts()[0].toStdString();
    EXPECT_EQ(fileBytes(book), cut);
    EXPECT_EQ(viewer().pain->imagePixelSize(), page.size()); // as the file still has it
}

// Whatever lies where a page file should be, the viewer shows the placeholder or says what is
// wrong, and keeps going.
TEST_F(Viewer, HostilePageFilesShowThePlaceholderOrAMessage)
{
    const QDir files(d.temp().folder() + QStringLiteral("/files/sub"));
    writeBilevelTiff(page, files.filePath(QStringLiteral("good.tif")), 200);
    const QByteArray tiff = fileBytes(files.filePath(QStringLiteral("good.tif")));
    enum Outcome { Placeholder, ItsOwnPicture, Message };
    const struct {
        QString name;
        std::function<void(const QString &)> make;
        Outcome outcome;
    } cases[] = {
        // Damaged contents are the page image's cases; one stands for them all.
        {"cut.tif", [&](const QString &p) { writeBytes(p, tiff.left(tiff.size() / 2)); }, Placeholder},
        {"folder.tif", [](const QString &p) { QDir().mkpath(p); }, Placeholder},
        {"locked.tif", [&](const QString &p) { writeBytes(p, tiff), QFile::setPermissions(p, {}); }, Message},
        {QStringLiteral("𠮷野屋😀.tif"), [&](const QString &p) { writeBytes(p, tiff); }, ItsOwnPicture},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        if (c.outcome == Message && geteuid() == 0)
            continue; // permissions do not bind root
        viewer().DisplayByFileName(QStringLiteral("sub"), QStringLiteral("good.tif"));
        c.make(files.filePath(c.name));
        AlertAnswerer alerts;
        viewer().DisplayByFileName(QStringLiteral("sub"), c.name);
        if (c.outcome == Message) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }));
            EXPECT_TRUE(alerts.texts().value(0).startsWith(QStringLiteral("75\r")))
                << alerts.texts().value(0).toStdString();
            EXPECT_EQ(shown(), QStringLiteral("good.tif")); // what was shown stays
        } else {
            EXPECT_TRUE(alerts.texts().isEmpty());
            EXPECT_EQ(shown(), c.outcome == Placeholder ? WorkingFolder::PlaceholderImage : c.name);
        }
    }
}

TEST_F(Viewer, PrintingAndSavingAsPdfGoWhereChosenAtThePagesOwnSize)
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
        click(viewer().Prt); // nothing shown yet
        EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }));
        EXPECT_EQ(alerts.texts(), QStringList{QStringLiteral("ピクチャーがありません。")});
        EXPECT_FALSE(QFile::exists(pdf));
    }
    d.desk().card->Display(5);
    click(viewer().Prt);
    EXPECT_TRUE(fileBytes(pdf).contains("/BitsPerComponent 1")); // the drawing went out as a bitmap

    // 「PDF保存」 writes every page of the record into the file chosen, offered under the record's ID.
    QString offered;
    const QString record = out.filePath(QStringLiteral("record.pdf"));
    viewer().choosePdfFile = [&](const QString &name) {
        offered = name;
        return record;
    };
    {
        AlertAnswerer alerts;
        click(viewer().PdfSave);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.texts().isEmpty(); }));
        EXPECT_EQ(alerts.texts().value(0),
                  QStringLiteral("3 ページを書き出しました: ") + QDir::toNativeSeparators(record));
    }
    EXPECT_EQ(QFileInfo(offered).fileName(), QStringLiteral("5.pdf"));
    EXPECT_TRUE(fileBytes(record).contains("/Count 3"));

    // On paper: its own size from its resolution where that fits, else as large as fits.
    const QSizeF a4(9500, 13500); // printable area of A4 at 1200 dpi, roughly
    EXPECT_EQ(PageImage::fromImage(testDrawing(QSize(1200, 900)), 300).printSize(a4, 600, 600),
              QSizeF(2400, 1800));
    EXPECT_EQ(PageImage::fromImage(testDrawing(QSize(3000, 2000)), 100).printSize(a4, 1200, 1200),
              QSizeF(9500, 9500 * 2.0 / 3));
    EXPECT_EQ(PageImage::fromImage(testDrawing(QSize(300, 600)), 0).printSize(a4, 1200, 1200),
              QSizeF(6750, 13500));
}

} // namespace
