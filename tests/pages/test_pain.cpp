#include "support/page_files.h"

#include "imaging/tiff_io.h"
#include "pages/pain.h"

#include <QScrollBar>
#include <QTemporaryDir>

using namespace zumen;

namespace {

class PainTest : public ::testing::Test {
protected:
    PainTest()
    {
        m_pain.resize(320, 240);
        m_pain.show();
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString bilevelFile(const QString &name, QSize size, int dpi = 200)
    {
        writeBilevelTiff(testDrawing(size), path(name), dpi);
        return path(name);
    }
    void show(const QString &file)
    {
        m_pain.setImage(file);
        m_pain.display();
    }

    QTemporaryDir m_dir;
    Pain m_pain;
};

} // namespace

TEST_F(PainTest, AFailedDisplayKeepsThePictureAndItsFile)
{
    EXPECT_FALSE(m_pain.hasImage());
    const QString first = bilevelFile(QStringLiteral("first.tif"), QSize(300, 200));
    show(first);
    EXPECT_TRUE(m_pain.hasImage());
    EXPECT_EQ(m_pain.image(), first);
    EXPECT_EQ(m_pain.imagePixelSize(), QSize(300, 200));

    EXPECT_EQ(errorNumber([&] { m_pain.setImage(path("missing.tif")); }), 53);
    writeBytes(path("damaged.tif"), "II*\0garbage");
    m_pain.setImage(path("damaged.tif"));
    EXPECT_EQ(errorNumber([&] { m_pain.display(); }), 321);
    // A turn written back now must go to the file that is shown, not to the damaged one.
    EXPECT_EQ(m_pain.image(), first);
    EXPECT_EQ(m_pain.imagePixelSize(), QSize(300, 200));

    m_pain.clearDisplay();
    EXPECT_FALSE(m_pain.hasImage());
    EXPECT_TRUE(m_pain.image().isEmpty());
    EXPECT_EQ(m_pain.accessibleName(), "Pain");
}

TEST_F(PainTest, ThePageIsCentredOrScrolled)
{
    // A white page with a black border, smaller than the view at 100 %.
    QImage page(100, 80, QImage::Format_Grayscale8);
    page.fill(Qt::black);
    for (int y = 1; y < 79; ++y)
        std::memset(page.scanLine(y) + 1, 255, 98);
    m_pain.setScannedImage(page, 100);
    const QSize view = m_pain.viewport()->size();
    QImage shot = m_pain.viewport()->grab().toImage();
    const QPoint topLeft((view.width() - 100) / 2, (view.height() - 80) / 2);
    EXPECT_EQ(qGray(shot.pixel(topLeft)), 0);
    EXPECT_EQ(qGray(shot.pixel(topLeft + QPoint(50, 40))), 255);
    EXPECT_NE(shot.pixel(topLeft - QPoint(1, 1)), shot.pixel(topLeft)); // the background
    EXPECT_EQ(m_pain.horizontalScrollBar()->maximum(), 0);

    // At 800 % it no longer fits; scrolling to the end shows the bottom right corner.
    m_pain.setZoom(800);
    EXPECT_GT(m_pain.horizontalScrollBar()->maximum(), 0);
    m_pain.horizontalScrollBar()->setValue(m_pain.horizontalScrollBar()->maximum());
    m_pain.verticalScrollBar()->setValue(m_pain.verticalScrollBar()->maximum());
    shot = m_pain.viewport()->grab().toImage();
    EXPECT_EQ(qGray(shot.pixel(view.width() - 1, view.height() - 1)), 0);
    EXPECT_EQ(qGray(shot.pixel(view.width() - 20, view.height() - 20)), 255);
}

TEST_F(PainTest, ZoomKeepsTheCentreOfTheViewAndStaysInRange)
{
    show(bilevelFile(QStringLiteral("p.tif"), QSize(2000, 1500)));
    m_pain.setZoom(50);
    for (int wrong : {1, 801, -100})
        EXPECT_EQ(errorNumber([&] { m_pain.setZoom(wrong); }), 1001);
    EXPECT_EQ(m_pain.zoom(), 50);
    m_pain.setZoom(Pain::MaxZoom);
    EXPECT_EQ(m_pain.zoom(), Pain::MaxZoom);
    m_pain.setZoom(100);
    m_pain.horizontalScrollBar()->setValue(700);
    m_pain.verticalScrollBar()->setValue(500);
    const QSize view = m_pain.viewport()->size();
    const double centreX = 700 + view.width() / 2.0;
    m_pain.setZoom(200);
    EXPECT_NEAR(m_pain.horizontalScrollBar()->value() + view.width() / 2.0, 2 * centreX, 2);
    m_pain.setZoom(100);
    EXPECT_NEAR(m_pain.horizontalScrollBar()->value(), 700, 2);
    EXPECT_NEAR(m_pain.verticalScrollBar()->value(), 500, 2);
}

// How it is written is ScanAppend.ANewRecordByScanIsAGroup4PageThatTheSaveRecords; here, that
// the file written is the one a turn goes back to.
TEST_F(PainTest, AScannedPageBecomesTheFileItIsSavedAs)
{
    m_pain.setScannedImage(testDrawing(QSize(400, 300)), 200);
    EXPECT_TRUE(m_pain.hasImage());
    EXPECT_TRUE(m_pain.image().isEmpty()); // not a file yet
    m_pain.saveAs(path("SC000007.TIF"), 1);
    EXPECT_EQ(m_pain.image(), path("SC000007.TIF"));

    m_pain.clearDisplay();
    EXPECT_EQ(errorNumber([&] { m_pain.saveAs(path("x.tif")); }), 481);
    m_pain.rotateRight(); // nothing to turn, nothing to complain about
}

TEST_F(PainTest, FittingShowsTheWholePageAndFollowsTheViewAndTurns)
{
    show(bilevelFile(QStringLiteral("p.tif"), QSize(2000, 1000)));
    m_pain.fitToWindow();
    EXPECT_TRUE(m_pain.fitsToWindow());
    EXPECT_EQ(m_pain.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(m_pain.verticalScrollBar()->maximum(), 0);
    // Wide page: the width fills the view to the pixel.
    const int width = m_pain.viewport()->width();
    EXPECT_EQ(m_pain.zoom(), width * 100 / 2000);

    m_pain.rotateRight(); // now tall: the height decides
    EXPECT_EQ(m_pain.zoom(), m_pain.viewport()->height() * 100 / 2000);
    m_pain.resize(640, 480);
    EXPECT_EQ(m_pain.zoom(), m_pain.viewport()->height() * 100 / 2000);
    EXPECT_EQ(m_pain.verticalScrollBar()->maximum(), 0);

    // A picked zoom ends fitting; a page smaller than the view is not blown up.
    m_pain.setZoom(100);
    EXPECT_FALSE(m_pain.fitsToWindow());
    EXPECT_GT(m_pain.verticalScrollBar()->maximum(), 0);
    m_pain.fitToWindow();
    m_pain.setScannedImage(testDrawing(QSize(100, 80)), 200);
    EXPECT_EQ(m_pain.zoom(), 100);
}

TEST_F(PainTest, AHighDensityScreenGetsThePageAtItsOwnPixels)
{
    // A line one pixel wide at 50 % on a screen of ratio 2 is one device pixel, still black:
    // drawn at 50 % and then doubled it would be two grey ones.
    QImage page(400, 300, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    page.fill(0);
    for (int y = 0; y < 300; ++y)
        page.setPixel(101, y, 1);
    m_pain.setScannedImage(page, 200);
    m_pain.setZoom(50);
    QImage shot(m_pain.viewport()->size() * 2, QImage::Format_RGB32);
    shot.setDevicePixelRatio(2);
    m_pain.viewport()->render(&shot);
    // The page, 200 x 150 in the view's own pixels, stands in its middle.
    const int left = 2 * ((m_pain.viewport()->width() - 200) / 2);
    QList<int> dark;
    for (int x = left; x < left + 400; ++x) {
        const int grey = qGray(shot.pixel(x, shot.height() / 2));
        if (grey < 255)
            dark << grey;
    }
    EXPECT_EQ(dark, QList<int>{0});
    EXPECT_EQ(qGray(shot.pixel(left + 101, shot.height() / 2)), 0);
}
