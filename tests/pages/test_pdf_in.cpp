#include "card/info_frm.h"
#include "db/database.h"
#include "imaging/tiff_io.h"
#include "pages/drawing_frm.h"
#include "pages/get_dir_frm.h"
#include "pages/pain.h"
#include "pages/select_device_frm.h"
#include "support/modal.h"
#include "support/page_files.h"
#include "support/query.h"
#include "support/test_desk.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTest>

#include <tiffio.h>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// Three pages as CAD sends them: A4 portrait and A3 landscape drawn in black (lines and Japanese
// text), then an A4 page with a grey fill.
void writeDrawingPdf(const QString &path)
{
    QPdfWriter pdf(path);
    pdf.setResolution(300);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins({});
    QPainter p(&pdf);
    const auto drawSheet = [&] {
        const QRect sheet = p.viewport().adjusted(100, 100, -100, -100);
        p.setPen(QPen(Qt::black, 6));
        p.drawRect(sheet);
        p.drawLine(sheet.topLeft(), sheet.bottomRight());
        p.setFont(QFont(QStringLiteral("IPAGothic"), 24));
        p.drawText(sheet.adjusted(50, 50, 0, 0), QStringLiteral("図面 第1版"));
    };
    drawSheet();
    pdf.setPageSize(QPageSize(QPageSize::A3));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.newPage();
    drawSheet();
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Portrait);
    pdf.newPage();
    p.fillRect(QRect(300, 300, 1200, 800), QColor(128, 128, 128));
    drawSheet();
}

// Records 1 to 7, record 7 with page 1; files/ holds drawing.pdf and a damaged copy.
class PdfIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        scan.setPath(d.temp().folder() + QStringLiteral("/scan"));
        files.setPath(d.temp().folder() + QStringLiteral("/files"));
        scan.mkpath(QStringLiteral("."));
        files.mkpath(QStringLiteral("."));
        writeDrawingPdf(files.filePath(QStringLiteral("drawing.pdf")));
        // The transfer broke off after the header.
        writeBytes(files.filePath(QStringLiteral("damaged.PDF")),
                   fileBytes(files.filePath(QStringLiteral("drawing.pdf"))).left(400));
        d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, '%1'), (12, '%2')")
                   .arg(scan.path(), files.path()));
        d.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 7) "
                              "INSERT INTO DT (ID, Namae) SELECT i, 'n' || i FROM n"));
        d.exec(QStringLiteral(
            "INSERT INTO PG (ID, Page, Dir, FileName) VALUES (7, 1, '_SCAN', 'SC000007.TIF')"));
        d.open();
    }
    Info_frm &card() { return *d.desk().card; }
    void take(const QString &file, bool pageMode)
    {
        whenModal([](QWidget *w) {
            QTest::mouseClick(qobject_cast<SelectDevice_frm *>(w)->Command[SelectDevice_frm::File],
                              Qt::LeftButton);
        });
        whenModal([file](QWidget *w) {
            auto *import = qobject_cast<GetDir_frm *>(w);
            import->File1->setCurrentItem(import->File1->findItems(file, Qt::MatchExactly).value(0));
            QTest::mouseClick(import->Command[0], Qt::LeftButton);
        });
        if (pageMode)
            QTest::mouseClick(d.desk().viewer->Command[0], Qt::LeftButton); // the viewer's 追加
        else
            card().DoAppend(false);
    }
    QStringList pageRows(int id)
    {
        return queryColumn(d.desk().db,
                           "SELECT Page || '|' || Dir || '|' || FileName FROM PG WHERE ID=?1 ORDER BY Page",
                           {id});
    }

    QDir scan;
    QDir files;
    TestDesk d;
};

} // namespace

// Each PDF page becomes a scan-like page at 300 dpi: black-and-white pages bilevel in Group 4,
// the grey page grey; a new record takes them as pages 1, 2, 3, the viewer's 追加 appends them.
TEST_F(PdfIn, EveryPageComesInOrderAtItsOwnSizeAndTheViewerShowsIt)
{
    const QString pdf = files.filePath(QStringLiteral("drawing.pdf"));
    const QByteArray before = fileBytes(pdf);
    take(QStringLiteral("drawing.pdf"), false);
    ASSERT_EQ(card().session().mode, CardSession::Mode::New);
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    EXPECT_EQ(pageRows(8),
              (QStringList{QStringLiteral("1|_SCAN|SC000008.TIF"), QStringLiteral("2|_SCAN|SC00000802.TIF"),
                           QStringLiteral("3|_SCAN|SC00000803.TIF")}));

    card().Display(8);
    take(QStringLiteral("drawing.pdf"), true);
    ASSERT_EQ(pageRows(8).size(), 6);
    EXPECT_EQ(pageRows(8)[3], QStringLiteral("4|_SCAN|SC00000804.TIF"));
    EXPECT_EQ(fileBytes(pdf), before);

    // The page's own size in points (as the writer put it in the file) at 300 dpi.
    const auto pixels = [](QPageSize::PageSizeId id, bool landscape) {
        const QSize points = QPageSize(id).sizePoints();
        const QSizeF size = QSizeF(landscape ? points.transposed() : points) * 300.0 / 72.0;
        return size.toSize();
    };
    const QList<QSize> sizes{pixels(QPageSize::A4, false), pixels(QPageSize::A3, true),
                             pixels(QPageSize::A4, false)};
    for (int page = 1; page <= 6; ++page) {
        const QString file = pageRows(8)[page - 1].section(u'|', 2);
        const TiffPage tiff = readTiff(scan.filePath(file));
        const QSize want = sizes[(page - 1) % 3];
        EXPECT_LE(std::abs(tiff.size.width() - want.width()), 1) << page;
        EXPECT_LE(std::abs(tiff.size.height() - want.height()), 1) << page;
        EXPECT_EQ(tiff.dpiX, 300);
        if ((page - 1) % 3 == 2) {
            EXPECT_EQ(tiff.bitsPerSample, 8) << "the grey page stays grey";
            EXPECT_EQ(tiff.samplesPerPixel, 1);
        } else {
            EXPECT_TRUE(tiff.isBilevel()) << page;
            EXPECT_EQ(tiff.compression, COMPRESSION_CCITTFAX4) << page;
        }
        d.desk().viewer->Display(8, static_cast<std::int16_t>(page));
        d.desk().viewer->pain->waitForPage();
        EXPECT_EQ(d.desk().viewer->pain->image(), scan.filePath(file));
        EXPECT_EQ(d.desk().viewer->pain->imagePixelSize(), tiff.size);
    }
}

// A damaged PDF is told and leaves no page row and no file, for a new record and for page mode.
TEST_F(PdfIn, ADamagedPdfIsRefusedAndWritesNothing)
{
    AlertAnswerer alerts;
    take(QStringLiteral("damaged.PDF"), false);
    card().Display(7);
    take(QStringLiteral("damaged.PDF"), true);
    ASSERT_EQ(alerts.texts().size(), 2);
    for (const QString &text : alerts.texts())
        EXPECT_TRUE(text.startsWith(QStringLiteral("PDF のページを取り込めませんでした。\r")))
            << text.toStdString();
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
    EXPECT_EQ(pageRows(7).size(), 1);
    EXPECT_TRUE(pageRows(8).isEmpty());
    EXPECT_TRUE(scan.entryList(QDir::Files | QDir::Hidden).isEmpty());
}
