#include "pages/scanner.h"

#include "db/database.h"
#include "db/numbered_error.h"
#include "support/modal.h"
#include "support/sane_test_backend.h"
#include "support/temp_db.h"
#include "text/utility.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace zumen;

namespace {

constexpr int Timeout = 60000;

// The test device's page is 80 x 100 mm; the backend may round a part pixel either way.
void expectPageSize(const QImage &image, double widthMm, double heightMm, int dpi)
{
    EXPECT_NEAR(image.width(), widthMm / 25.4 * dpi, 1.0);
    EXPECT_NEAR(image.height(), heightMm / 25.4 * dpi, 1.0);
}

// How many pixels are black and how many white, after turning the page to grey.
std::pair<qint64, qint64> blackAndWhite(const QImage &image)
{
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    qint64 black = 0;
    qint64 white = 0;
    for (int y = 0; y < gray.height(); ++y) {
        for (int x = 0; x < gray.width(); ++x) {
            black += gray.constScanLine(y)[x] == 0;
            white += gray.constScanLine(y)[x] == 255;
        }
    }
    return {black, white};
}

QWidget *progressDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("ScanProgress") && w->isVisible())
            return w;
    }
    return nullptr;
}

// What one scanner reported.
struct Reports {
    explicit Reports(Scanner &scanner)
        : pages(&scanner, &Scanner::pageScanned), failures(&scanner, &Scanner::scanFailed),
          cancels(&scanner, &Scanner::scanCancelled)
    {}
    int count() const { return int(pages.count() + failures.count() + cancels.count()); }
    QImage image(int i = 0) const { return pages.at(i).at(0).value<QImage>(); }
    int dpi(int i = 0) const { return pages.at(i).at(1).toInt(); }

    QSignalSpy pages;
    QSignalSpy failures;
    QSignalSpy cancels;
};

class ScannerTest : public ::testing::Test {
protected:
    // Opens with the given answers to the settings dialog and scans one page.
    QImage scan(Scanner &scanner, const QString &mode, int dpi, int *dpiOut = nullptr)
    {
        answerScanSettings(mode, dpi);
        EXPECT_TRUE(scanner.open(nullptr));
        Reports reports(scanner);
        scanner.start(nullptr);
        EXPECT_TRUE(scanner.waitForFinished(Timeout));
        EXPECT_EQ(reports.count(), 1);
        if (reports.pages.count() != 1) {
            for (const auto &failure : reports.failures)
                ADD_FAILURE() << "scan failed: " << failure.at(0).toInt() << " "
                              << failure.at(1).toString().toStdString();
            return {};
        }
        if (dpiOut)
            *dpiOut = reports.dpi();
        return reports.image();
    }

    QString userOption(int code)
    {
        Recordset rs = temp.db().openRecordset(QStringLiteral("SELECT * FROM UserOP"));
        rs.findFirst(QStringLiteral("Code=%1").arg(code));
        const QString text =
            rs.noMatch() ? QStringLiteral("<none>") : rs.field(QStringLiteral("Contents")).toString();
        rs.close();
        return text;
    }

    SaneTestBackend sane; // before any Scanner: it chooses where the library reads its configuration
    TempDb temp;
};

} // namespace

TEST_F(ScannerTest, NoDeviceIsErrorFiveBeforeAnyDialogAndTheLibraryFindsDevicesAgainLater)
{
    {
        SaneTestBackend none;
        none.removeBackend();
        Scanner scanner(temp.db());
        try {
            scanner.open(nullptr);
            ADD_FAILURE() << "open found a device";
        } catch (const NumberedError &e) {
            EXPECT_EQ(e.number(), 5);
            EXPECT_EQ(e.description(), QStringLiteral("スキャナを正しく接続してください。"));
        }
        EXPECT_EQ(scanner.status(), Scanner::Status::Idle);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

        // Starting without an open device reports 5 too, after start has returned.
        Reports reports(scanner);
        scanner.start(nullptr);
        EXPECT_EQ(reports.count(), 0);
        EXPECT_TRUE(scanner.waitForFinished(Timeout));
        ASSERT_EQ(reports.failures.count(), 1);
        EXPECT_EQ(reports.failures.at(0).at(0).toInt(), 5);
        EXPECT_EQ(reports.pages.count(), 0);
    }
    // Once the last scanner has gone the library starts afresh and sees the test devices.
    Scanner scanner(temp.db());
    EXPECT_FALSE(scan(scanner, QStringLiteral("グレー"), 100).isNull());
}

TEST_F(ScannerTest, EachModeGivesItsFormatAtTheChosenResolutionAndTheSameGrid)
{
    Scanner scanner(temp.db());
    int dpi = 0;
    const QImage mono = scan(scanner, QStringLiteral("白黒"), 100, &dpi);
    EXPECT_EQ(mono.format(), QImage::Format_Mono);
    EXPECT_EQ(dpi, 100);
    expectPageSize(mono, 80, 100, 100);
    const QImage gray = scan(scanner, QStringLiteral("グレー"), 100);
    EXPECT_EQ(gray.format(), QImage::Format_Grayscale8);
    const QImage colour = scan(scanner, QStringLiteral("カラー"), 150, &dpi);
    EXPECT_EQ(colour.format(), QImage::Format_RGB32);
    EXPECT_EQ(dpi, 150);
    expectPageSize(colour, 80, 100, 150);

    // The grid is black and white in every mode, with black in the same places.
    const auto [black, white] = blackAndWhite(mono);
    EXPECT_GT(black, mono.width() * 10);
    EXPECT_GT(white, mono.width() * 10);
    EXPECT_EQ(black + white, qint64{mono.width()} * mono.height());
    ASSERT_EQ(gray.size(), mono.size());
    EXPECT_EQ(gray, mono.convertToFormat(QImage::Format_Grayscale8));
}

TEST_F(ScannerTest, AGreyScanAfterABilevelOneHasItsShadesBack)
{
    sane.setOption(QStringLiteral("test-picture"), QStringLiteral("\"Color pattern\""));
    Scanner scanner(temp.db());
    const QImage mono = scan(scanner, QStringLiteral("白黒"), 100);
    EXPECT_EQ(mono.format(), QImage::Format_Mono);
    const QImage gray = scan(scanner, QStringLiteral("グレー"), 100);
    const auto [black, white] = blackAndWhite(gray);
    EXPECT_LT(black + white, qint64{gray.width()} * gray.height() / 2);
}

struct DeviceKind {
    const char *name;
    QList<QPair<QString, QString>> options;
    QString mode;
    QImage::Format format;
    double widthMm;
};

void PrintTo(const DeviceKind &kind, std::ostream *out)
{
    *out << kind.name;
}

class ScannerDeviceKinds : public ScannerTest, public ::testing::WithParamInterface<DeviceKind> {};

TEST_P(ScannerDeviceKinds, GiveACompletePage)
{
    for (const auto &[name, value] : GetParam().options)
        sane.setOption(name, value);
    Scanner scanner(temp.db());
    const QImage page = scan(scanner, GetParam().mode, 100);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.format(), GetParam().format);
    EXPECT_NEAR(page.width(), GetParam().widthMm / 25.4 * 100, 1.0);
    EXPECT_GT(page.height(), 0);
    // The grid stays black and white: a colour pass lost or misplaced would tint it.
    const auto [black, white] = blackAndWhite(page);
    EXPECT_GT(black, 0);
    EXPECT_EQ(black + white, qint64{page.width()} * page.height());
}

INSTANTIATE_TEST_SUITE_P(
    Scanner, ScannerDeviceKinds,
    ::testing::Values(DeviceKind{"ThreePass",
                                 {{QStringLiteral("three-pass"), QStringLiteral("true")},
                                  {QStringLiteral("three-pass-order"), QStringLiteral("BGR")}},
                                 QStringLiteral("カラー"),
                                 QImage::Format_RGB32,
                                 80},
                      // A hand scanner does not know the height beforehand; its width is 11 cm.
                      DeviceKind{"HandScanner",
                                 {{QStringLiteral("hand-scanner"), QStringLiteral("true")}},
                                 QStringLiteral("グレー"),
                                 QImage::Format_Grayscale8,
                                 110},
                      DeviceKind{"DataInSmallPieces",
                                 {{QStringLiteral("read-limit"), QStringLiteral("true")},
                                  {QStringLiteral("read-limit-size"), QStringLiteral("7")}},
                                 QStringLiteral("白黒"),
                                 QImage::Format_Mono,
                                 80}),
    [](const ::testing::TestParamInfo<DeviceKind> &kind) { return std::string(kind.param.name); });

TEST_F(ScannerTest, TheAcceptedSettingsAreRememberedAndOfferedNextTime)
{
    Scanner scanner(temp.db());
    answerScanSettings(QStringLiteral("グレー"), 300, true, QStringLiteral("test:1"));
    ASSERT_TRUE(scanner.open(nullptr));
    EXPECT_EQ(userOption(13), QStringLiteral("test:1"));
    EXPECT_EQ(userOption(14), QStringLiteral("グレー"));
    EXPECT_EQ(userOption(15), QStringLiteral("300"));
    EXPECT_EQ(userOption(16), QStringLiteral("Flatbed"));
    EXPECT_EQ(scanner.settings().resolution, 300);

    const auto offered = [&] {
        QStringList shown;
        whenModal([&](QWidget *dialog) {
            for (const char *name : {"cDevice", "cMode", "cResolution", "cSource"}) {
                auto *box = dialog->findChild<QComboBox *>(QString::fromLatin1(name));
                shown << (box && box->isVisible() ? box->currentText() : QStringLiteral("<hidden>"));
            }
            pressKey(dialog, Qt::Key_Escape);
        });
        EXPECT_FALSE(scanner.open(nullptr));
        return shown;
    };
    QStringList shown = offered();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral("(test:1)"))) << shown[0].toStdString();
    EXPECT_EQ(shown.mid(1), (QStringList{QStringLiteral("グレー"), QStringLiteral("300 dpi"),
                                         QStringLiteral("フラットベッド")}));

    // A remembered device that has gone gives way to the first one; the rest still holds.
    // The source is stored in the device's words and shown in ours.
    temp.exec(QStringLiteral("UPDATE UserOP SET Contents='test:9' WHERE Code=13"));
    temp.exec(QStringLiteral("UPDATE UserOP SET Contents='Automatic Document Feeder' WHERE Code=16"));
    shown = offered();
    EXPECT_TRUE(shown.value(0).endsWith(QStringLiteral("(test:0)"))) << shown.value(0).toStdString();
    EXPECT_EQ(shown.value(1), QStringLiteral("グレー"));
    EXPECT_EQ(shown.value(2), QStringLiteral("300 dpi"));
    EXPECT_EQ(shown.value(3), QStringLiteral("自動原稿送り装置 (ADF)"));
    // A cancelled dialog stored nothing.
    EXPECT_EQ(userOption(13), QStringLiteral("test:9"));
}

TEST_F(ScannerTest, CancellingTheDialogAnyWayOpensNothingAndStoresNothing)
{
    Scanner scanner(temp.db());
    const std::function<void(QWidget *)> cancels[] = {
        [](QWidget *dialog) { pressKey(dialog, Qt::Key_Escape); },
        [](QWidget *dialog) { dialog->findChild<QPushButton *>(QStringLiteral("Command(1)"))->click(); },
        [](QWidget *dialog) { dialog->close(); },
    };
    for (const auto &cancel : cancels) {
        whenModal(cancel);
        EXPECT_FALSE(scanner.open(nullptr));
        EXPECT_FALSE(scanner.isOpen());
        EXPECT_EQ(scanner.status(), Scanner::Status::Idle);
    }
    EXPECT_EQ(userOption(13), QStringLiteral("<none>"));

    Reports reports(scanner);
    scanner.start(nullptr);
    EXPECT_TRUE(scanner.waitForFinished(Timeout));
    EXPECT_EQ(reports.pages.count(), 0);
    ASSERT_EQ(reports.failures.count(), 1);
    EXPECT_EQ(reports.failures.at(0).at(0).toInt(), 5);
}

TEST_F(ScannerTest, CancellingTheProgressStopsTheScanAndTheNextOneWorks)
{
    // Slow enough that the scan cannot end before the cancel: a pause after each piece of data.
    sane.setOption(QStringLiteral("read-delay"), QStringLiteral("true"));
    sane.setOption(QStringLiteral("read-delay-duration"), QStringLiteral("200000"));
    Scanner scanner(temp.db());
    answerScanSettings(QStringLiteral("グレー"), 400);
    ASSERT_TRUE(scanner.open(nullptr));
    Reports reports(scanner);
    scanner.start(nullptr);
    EXPECT_EQ(scanner.status(), Scanner::Status::Scanning);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progressDialog() != nullptr; }, Timeout));

    // While it runs, a second start is ignored and opening is refused as busy.
    scanner.start(nullptr);
    try {
        scanner.open(nullptr);
        ADD_FAILURE() << "opened while scanning";
    } catch (const NumberedError &e) {
        EXPECT_EQ(e.number(), 3);
    }

    progressDialog()->findChild<QPushButton *>(QStringLiteral("Command"))->click();
    EXPECT_EQ(scanner.status(), Scanner::Status::Cancelling);
    EXPECT_TRUE(scanner.waitForFinished(Timeout));
    EXPECT_EQ(reports.cancels.count(), 1);
    EXPECT_EQ(reports.pages.count(), 0);
    EXPECT_EQ(reports.failures.count(), 0);
    EXPECT_EQ(scanner.status(), Scanner::Status::Idle);
    EXPECT_EQ(progressDialog(), nullptr);

    // The same device scans again, as the card does it: open, then start.
    const QImage page = scan(scanner, QStringLiteral("白黒"), 100);
    EXPECT_EQ(page.format(), QImage::Format_Mono);
    expectPageSize(page, 80, 100, 100);
    // Nothing more arrived from the cancelled scan.
    EXPECT_EQ(reports.cancels.count(), 1);
    EXPECT_EQ(reports.failures.count(), 0);
}

TEST_F(ScannerTest, ADeviceErrorMidScanIsReportedByNumberAndTheDeviceOpensAgain)
{
    sane.setOption(QStringLiteral("read-status-code"), QStringLiteral("\"SANE_STATUS_JAMMED\""));
    Scanner scanner(temp.db());
    for (int attempt = 0; attempt < 2; ++attempt) {
        answerScanSettings(QStringLiteral("白黒"), 100);
        ASSERT_TRUE(scanner.open(nullptr));
        Reports reports(scanner);
        scanner.start(nullptr);
        EXPECT_TRUE(scanner.waitForFinished(Timeout));
        ASSERT_EQ(reports.failures.count(), 1);
        EXPECT_EQ(reports.failures.at(0).at(0).toInt(), 6);
        EXPECT_EQ(reports.failures.at(0).at(1).toString(), QStringLiteral("紙が詰まりました。"));
        EXPECT_EQ(reports.pages.count(), 0);
        EXPECT_EQ(scanner.status(), Scanner::Status::Idle);
        EXPECT_EQ(progressDialog(), nullptr);
        // The failed device was let go; only a new open brings it back.
        EXPECT_FALSE(scanner.isOpen());
    }
}

TEST_F(ScannerTest, AScannerDestroyedMidScanStopsCleanly)
{
    sane.setOption(QStringLiteral("read-delay"), QStringLiteral("true"));
    sane.setOption(QStringLiteral("read-delay-duration"), QStringLiteral("200000"));
    auto scanner = std::make_unique<Scanner>(temp.db());
    answerScanSettings(QStringLiteral("グレー"), 400);
    ASSERT_TRUE(scanner->open(nullptr));
    scanner->start(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progressDialog() != nullptr; }, Timeout));
    scanner.reset();
    EXPECT_EQ(progressDialog(), nullptr);
    QCoreApplication::processEvents();
}
