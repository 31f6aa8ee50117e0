#include "support/page_files.h"

#include "imaging/tiff_io.h"
#include "pages/pain.h"

#include <QImageReader>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

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
    QString show(const QString &name, QSize size)
    {
        writeBilevelTiff(testDrawing(size), path(name), 200);
        m_pain.setImage(path(name));
        m_pain.display();
        m_pain.waitForPage();
        return path(name);
    }
    // The number displayFailed gave for the page asked for last, 0 when it was shown.
    int failure()
    {
        int number = 0;
        const QMetaObject::Connection c =
            QObject::connect(&m_pain, &Pain::displayFailed, [&](const QString &, int n) { number = n; });
        m_pain.waitForPage();
        QObject::disconnect(c);
        return number;
    }

    QTemporaryDir m_dir;
    Pain m_pain;
};

} // namespace

// A turn is written back to the file shown: never to one that failed, nor to nothing.
TEST_F(PainTest, ATurnGoesToTheFileThatIsShown)
{
    const QString first = show(QStringLiteral("first.tif"), QSize(300, 200));
    EXPECT_EQ(errorNumber([&] { m_pain.setImage(path("missing.tif")); }), 53);
    writeBytes(path("damaged.tif"), "II*\0garbage");
    m_pain.setImage(path("damaged.tif"));
    m_pain.display();
    EXPECT_EQ(failure(), 321);
    EXPECT_EQ(m_pain.image(), first);
    EXPECT_EQ(m_pain.imagePixelSize(), QSize(300, 200));

    m_pain.setScannedImage(testDrawing(QSize(400, 300)), 200);
    EXPECT_TRUE(m_pain.image().isEmpty()); // not a file yet
    m_pain.saveAs(path("SC000007.TIF"), 1);
    EXPECT_EQ(m_pain.image(), path("SC000007.TIF"));

    m_pain.clearDisplay();
    EXPECT_FALSE(m_pain.hasImage());
    EXPECT_TRUE(m_pain.image().isEmpty());
    EXPECT_EQ(errorNumber([&] { m_pain.saveAs(path("x.tif")); }), 481);
    m_pain.rotateRight(); // nothing to turn, nothing to complain about
}

TEST_F(PainTest, FittingShowsTheWholePageAndFollowsTheViewAndTurns)
{
    show(QStringLiteral("p.tif"), QSize(2000, 1000));
    for (int wrong : {1, 801, -100})
        EXPECT_EQ(errorNumber([&] { m_pain.setZoom(wrong); }), 1001);
    m_pain.fitToWindow();
    EXPECT_TRUE(m_pain.fitsToWindow());
    EXPECT_EQ(m_pain.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(m_pain.zoom(), m_pain.viewport()->width() * 100 / 2000); // wide: the width fills the view

    m_pain.rotateRight(); // now tall: the height decides
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

// Pages decode off the GUI thread: what was shown stays until the page asked for last is
// ready, a page asked for and then superseded never shows, and a viewer closed while a page
// decodes goes quietly.
TEST_F(PainTest, PagesArriveInTheOrderAskedAndOnlyTheLastShows)
{
    show(QStringLiteral("small.tif"), QSize(300, 200));
    writeBilevelTiff(testDrawing(QSize(900, 700)), path("large.tif"), 400);
    writeBilevelTiff(testDrawing(QSize(500, 400)), path("next.tif"), 400);
    m_pain.setImage(path("large.tif"));
    m_pain.display();
    EXPECT_EQ(m_pain.imagePixelSize(), QSize(300, 200)); // not decoded yet
    m_pain.setImage(path("next.tif"));
    m_pain.display();
    EXPECT_EQ(failure(), 0);
    EXPECT_EQ(m_pain.imagePixelSize(), QSize(500, 400));
    EXPECT_EQ(m_pain.image(), path("next.tif"));

    m_pain.setImage(path("large.tif"));
    m_pain.display();
    m_pain.clearDisplay(); // clearing supersedes it: its result, when it comes, is dropped
    QTest::qWait(300);
    EXPECT_FALSE(m_pain.hasImage());

    auto *closing = new Pain;
    closing->setImage(path("large.tif"));
    closing->display();
    delete closing;
}

// A JPEG is decoded no larger than the view needs; turning and writing it back works on the
// whole page, never on the reduced one.
TEST_F(PainTest, AReducedJpegIsNeverWrittenBackReduced)
{
    ASSERT_TRUE(testGreyDrawing(QSize(1600, 1200)).save(path("photo.jpg"), "jpeg", 95));
    m_pain.fitToWindow();
    m_pain.setImage(path("photo.jpg"));
    m_pain.display();
    EXPECT_EQ(failure(), 0);
    EXPECT_EQ(m_pain.imagePixelSize(), QSize(1600, 1200));
    m_pain.rotateRight();
    m_pain.saveAs(path("photo.jpg"));
    EXPECT_EQ(QImageReader(path("photo.jpg")).size(), QSize(1200, 1600));
}
