#include "imaging/deskew.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

using namespace zumen;

namespace {

constexpr int DotsPerMeter200 = 7874; // 200 dpi
const QList<QRgb> WhiteBlack{qRgb(255, 255, 255), qRgb(0, 0, 0)};

// An A4 page at 200 dpi turned by degrees: one long rule near the top, alone in its band, and
// rows of words below it.
QImage skewedPage(double degrees, QImage::Format format)
{
    QImage grey(1654, 2339, QImage::Format_Grayscale8);
    grey.fill(255);
    {
        QPainter p(&grey);
        p.translate(grey.width() / 2.0, grey.height() / 2.0);
        p.rotate(degrees);
        p.translate(-grey.width() / 2.0, -grey.height() / 2.0);
        p.fillRect(100, 299, grey.width() - 200, 3, Qt::black);
        for (int y = 560; y < 2200; y += 50)
            for (int x = 120, i = y; x < 1500; x += 40 + (i * 37) % 90, ++i)
                p.fillRect(x, y, 20 + (i * 53) % 70, 18, Qt::black);
    }
    QImage page = format == QImage::Format_Mono
                      ? grey.convertToFormat(QImage::Format_Mono, WhiteBlack, Qt::ThresholdDither)
                      : grey;
    page.setDotsPerMeterX(DotsPerMeter200);
    page.setDotsPerMeterY(DotsPerMeter200);
    return page;
}

// The slope of the long rule in degrees, from where it crosses two columns far apart.
double ruleAngle(const QImage &page)
{
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
    auto centre = [&](int x) {
        double sum = 0, count = 0;
        for (int y = 150; y < 450; ++y)
            if (grey.pixelColor(x, y).value() < 128) {
                sum += y;
                ++count;
            }
        return count > 0 ? sum / count : -1000.0;
    };
    const int left = 300, right = grey.width() - 300;
    return std::atan2(centre(right) - centre(left), right - left) * 180 / M_PI;
}

} // namespace

TEST(Deskew, ASkewedPageComesBackStraightInItsOwnFormatAndSize)
{
    const std::pair<double, QImage::Format> cases[] = {
        {1.5, QImage::Format_Mono}, {-2.3, QImage::Format_Mono}, {-2.3, QImage::Format_Grayscale8}};
    for (const auto &[degrees, format] : cases) {
        SCOPED_TRACE(degrees);
        const QImage skewed = skewedPage(degrees, format);
        ASSERT_NEAR(ruleAngle(skewed), degrees, 0.2); // the page really is skewed
        const Deskewed result = deskew(skewed);
        EXPECT_NEAR(std::abs(result.angleDegrees), std::abs(degrees), 0.2);
        EXPECT_NEAR(ruleAngle(result.image), 0, 0.2);
        EXPECT_EQ(result.image.format(), format);
        EXPECT_EQ(result.image.size(), skewed.size());
        EXPECT_EQ(result.image.dotsPerMeterX(), DotsPerMeter200);
        if (format == QImage::Format_Mono) {
            EXPECT_EQ(result.image.colorTable(), WhiteBlack);
        }
    }
}

TEST(Deskew, StraightBlankAndEmptyPagesAreLeftAsTheyAre)
{
    const QImage straight = skewedPage(0, QImage::Format_Mono);
    QImage blank(800, 600, QImage::Format_Mono);
    blank.setColorTable(WhiteBlack);
    blank.fill(0);
    for (const QImage &page : {straight, blank, QImage()}) {
        const Deskewed result = deskew(page);
        EXPECT_EQ(result.angleDegrees, 0);
        EXPECT_EQ(result.image, page);
    }
}
