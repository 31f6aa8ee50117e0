#include "support/page_files.h"

#include "imaging/tiff_io.h"
#include "pages/pain.h"

#include <QScrollBar>
#include <QTemporaryDir>

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
        return path(name);
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
    EXPECT_EQ(errorNumber([&] { m_pain.display(); }), 321);
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
    EXPECT_EQ(m_pain.accessibleName(), "Pain");
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
