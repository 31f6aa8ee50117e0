#include "scan/scan_service.h"

#include "support/sane_test_backend.h"

#include <gtest/gtest.h>

using namespace zumen;

namespace {

constexpr int Timeout = 60000;
using Reports = ScanReports<ScanService>;

// How many pixels are black and how many white, after turning the page to grey.
std::pair<qint64, qint64> blackAndWhite(const QImage &image)
{
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    qint64 black = 0, white = 0;
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x) {
            black += gray.constScanLine(y)[x] == 0;
            white += gray.constScanLine(y)[x] == 255;
        }
    return {black, white};
}

// A page's size in whole millimetres at the resolution it was scanned at.
QSize millimetres(const QImage &page, int dpi)
{
    return (QSizeF(page.size()) * 25.4 / dpi).toSize();
}

ScanSettings settings(ScanMode mode, int dpi, const QString &device = QStringLiteral("test:0"))
{
    ScanSettings s;
    s.device = device;
    s.mode = mode;
    s.resolution = dpi;
    return s;
}

class ScanServiceTest : public ::testing::Test {
protected:
    // Opens the device and scans one page; the image is null when anything else came back.
    QImage scan(ScanService &device, ScanMode mode, int dpi, int *dpiOut = nullptr, const QString &paper = {})
    {
        EXPECT_TRUE(device.open(QStringLiteral("test:0")));
        Reports reports(device);
        ScanSettings s = settings(mode, dpi);
        s.paperSize = paper;
        device.start(s);
        EXPECT_TRUE(device.waitForFinished(Timeout));
        EXPECT_EQ(reports.count(), 1);
        if (reports.pages.count() != 1) {
            ADD_FAILURE() << "scan failed: " << reports.failure();
            return {};
        }
        if (dpiOut)
            *dpiOut = reports.pages.at(0).at(1).toInt();
        return reports.pages.at(0).at(0).value<QImage>();
    }

    SaneTestBackend sane; // before any service: it chooses where the library reads its configuration
};

} // namespace

TEST_F(ScanServiceTest, EachModeGivesItsFormatAtTheChosenResolutionAndTheSameGrid)
{
    ScanService device;
    int dpi = 0;
    const QImage mono = scan(device, ScanMode::Mono, 100);
    EXPECT_EQ(mono.format(), QImage::Format_Mono);
    const QImage gray = scan(device, ScanMode::Gray, 100);
    EXPECT_EQ(gray.format(), QImage::Format_Grayscale8);
    const QImage colour = scan(device, ScanMode::Color, 150, &dpi);
    EXPECT_EQ(colour.format(), QImage::Format_RGB32);
    EXPECT_EQ(dpi, 150);
    EXPECT_EQ(millimetres(colour, 150), QSize(80, 100)); // the device's own area

    // The grid is black and white in every mode, with black in the same places.
    EXPECT_GT(blackAndWhite(mono).first, mono.width() * 10);
    EXPECT_EQ(gray, mono.convertToFormat(QImage::Format_Grayscale8));
}

TEST_F(ScanServiceTest, ThePaperSizeSetsTheScanAreaAndAutoPutsTheDevicesOwnBack)
{
    ScanService device;
    // The test device scans 200 x 200 mm at most: no sheet of the list fits, 最大 does.
    EXPECT_EQ(device.capabilities(QStringLiteral("test:0")).maxArea, QSizeF(200, 200));
    EXPECT_EQ(millimetres(scan(device, ScanMode::Mono, 100, nullptr, paperLargest()), 100), QSize(200, 200));
    EXPECT_EQ(millimetres(scan(device, ScanMode::Mono, 100, nullptr, paperAuto()), 100), QSize(80, 100));
    // A sheet larger than the device (remembered from another one) is cut to what it can.
    EXPECT_EQ(millimetres(scan(device, ScanMode::Mono, 100, nullptr, QStringLiteral("A4 横")), 100),
              QSize(200, 200));
}

TEST_F(ScanServiceTest, AGreyScanAfterABilevelOneHasItsShadesBack)
{
    sane.setOption(QStringLiteral("test-picture"), QStringLiteral("\"Color pattern\""));
    ScanService device;
    EXPECT_EQ(scan(device, ScanMode::Mono, 100).format(), QImage::Format_Mono);
    const QImage gray = scan(device, ScanMode::Gray, 100);
    const auto [black, white] = blackAndWhite(gray);
    EXPECT_LT(black + white, qint64{gray.width()} * gray.height() / 2);
}

// Devices that send a page in three colour passes, without knowing its height (a hand
// scanner, 11 cm wide) or in pieces of a few bytes.
TEST_F(ScanServiceTest, OtherKindsOfDeviceGiveACompletePage)
{
    const struct {
        const char *option, *extra, *value;
        ScanMode mode;
        int widthMm;
    } kinds[] = {{"three-pass", "three-pass-order", "BGR", ScanMode::Color, 80},
                 {"hand-scanner", "hand-scanner", "true", ScanMode::Gray, 110},
                 {"read-limit", "read-limit-size", "7", ScanMode::Mono, 80}};
    for (const auto &kind : kinds) {
        SCOPED_TRACE(kind.option);
        SaneTestBackend backend;
        backend.setOption(QString::fromLatin1(kind.option), QStringLiteral("true"));
        backend.setOption(QString::fromLatin1(kind.extra), QString::fromLatin1(kind.value));
        ScanService device;
        const QImage page = scan(device, kind.mode, 100);
        ASSERT_FALSE(page.isNull());
        EXPECT_EQ(millimetres(page, 100).width(), kind.widthMm);
        // The grid stays black and white: a colour pass lost or misplaced would tint it.
        const auto [black, white] = blackAndWhite(page);
        EXPECT_GT(black, 0);
        EXPECT_EQ(black + white, qint64{page.width()} * page.height());
    }
}

TEST_F(ScanServiceTest, ADeviceErrorMidScanIsReportedByNumberAndTheDeviceOpensAgain)
{
    sane.setOption(QStringLiteral("read-status-code"), QStringLiteral("\"SANE_STATUS_JAMMED\""));
    ScanService device;
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(device.open(QStringLiteral("test:0")));
        Reports reports(device);
        device.start(settings(ScanMode::Mono, 100));
        EXPECT_TRUE(device.waitForFinished(Timeout));
        EXPECT_EQ(reports.count(), 1);
        EXPECT_EQ(reports.failure(), 6);
        EXPECT_EQ(reports.failures.value(0).value(1).toString(), QStringLiteral("紙が詰まりました。"));
        EXPECT_FALSE(device.isOpen()); // the failed device was let go; only a new open brings it back
    }
}

// Each test device's feeder holds ten sheets: one start reads them all, each as its own page,
// and ends when the feeder is empty. Blank sheets can be left out.
TEST_F(ScanServiceTest, AFeederGivesEverySheetUntilItIsEmptyAndBlankOnesCanBeLeftOut)
{
    ScanSettings feeder = settings(ScanMode::Mono, 100);
    feeder.source = QStringLiteral("Automatic Document Feeder");
    feeder.skipBlank = true; // the grid is no blank page
    const auto batch = [&feeder](int pages, const QVariantList &finishedWith) {
        ScanService device;
        ASSERT_TRUE(device.open(feeder.device));
        Reports reports(device);
        QSignalSpy finished(&device, &ScanService::batchFinished);
        QSignalSpy sheets(&device, &ScanService::sheetStarted);
        device.start(feeder);
        EXPECT_TRUE(device.waitForFinished(Timeout));
        EXPECT_EQ(reports.count(), pages);
        EXPECT_EQ(finished.value(0), finishedWith);
        EXPECT_EQ(sheets.count(), 11); // the eleventh found the feeder empty
        for (const QVariantList &page : reports.pages)
            EXPECT_EQ(page.at(0).value<QImage>().format(), QImage::Format_Mono);
    };
    batch(10, {10, 0});
    // The other device, whose feeder is full whatever the backend remembers of the first.
    sane.setOption(QStringLiteral("test-picture"), QStringLiteral("\"Solid white\""));
    feeder.device = QStringLiteral("test:1");
    batch(0, {0, 10});
}
