#include "pages/scan_controller.h"

#include "db/archive.h"
#include "db/database.h"
#include "db/options_store.h"
#include "scan/scan_service.h"
#include "support/modal.h"
#include "support/page_files.h"
#include "support/sane_test_backend.h"
#include "support/temp_db.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace zumen;

namespace {

constexpr int Timeout = 60000;

QWidget *progressDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("ScanProgress") && w->isVisible())
            return w;
    return nullptr;
}

class ScanControllerTest : public ::testing::Test {
protected:
    QString userOption(int code) { return OptionsStore(temp.db()).read(code); }

    SaneTestBackend sane; // before any scanner: it chooses where the library reads its configuration
    TempDb temp;
    Archive archive{Database::open(temp.path())};
};

} // namespace

TEST_F(ScanControllerTest, TheAcceptedSettingsAreRememberedAndOfferedNextTime)
{
    ScanController scanner(archive);
    answerScanSettings(QStringLiteral("グレー"), 300, true, QStringLiteral("test:1"));
    ASSERT_TRUE(scanner.open(nullptr));
    EXPECT_EQ(userOption(13), QStringLiteral("test:1"));
    EXPECT_EQ(userOption(14), QStringLiteral("グレー"));
    EXPECT_EQ(userOption(15), QStringLiteral("300"));
    EXPECT_EQ(userOption(16), QStringLiteral("Flatbed"));

    // A remembered device that has gone gives way to the first one; the rest still holds.
    // The source is stored in the device's words and shown in ours.
    temp.exec(QStringLiteral("UPDATE UserOP SET Contents='test:9' WHERE Code=13"));
    temp.exec(QStringLiteral("UPDATE UserOP SET Contents='Automatic Document Feeder' WHERE Code=16"));
    QStringList shown;
    whenModal([&](QWidget *dialog) {
        for (const char *name : {"cDevice", "cMode", "cResolution", "cSource"}) {
            auto *box = dialog->findChild<QComboBox *>(QString::fromLatin1(name));
            shown << (box && box->isVisible() ? box->currentText() : QStringLiteral("<hidden>"));
        }
        pressKey(dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(scanner.open(nullptr));
    ASSERT_EQ(shown.size(), 4);
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral("(test:0)"))) << shown[0].toStdString();
    EXPECT_EQ(shown.mid(1), (QStringList{QStringLiteral("グレー"), QStringLiteral("300 dpi"),
                                         QStringLiteral("自動原稿送り装置 (ADF)")}));
    EXPECT_EQ(userOption(13), QStringLiteral("test:9")); // a cancelled dialog stored nothing
}

TEST_F(ScanControllerTest, CancellingTheDialogAnyWayOpensNothingAndStoresNothing)
{
    ScanController scanner(archive);
    const std::function<void(QWidget *)> cancels[] = {
        [](QWidget *dialog) { dialog->findChild<QPushButton *>(QStringLiteral("Command(1)"))->click(); },
        [](QWidget *dialog) { dialog->close(); },
    };
    for (const auto &cancel : cancels) {
        whenModal(cancel);
        EXPECT_FALSE(scanner.open(nullptr));
        EXPECT_FALSE(scanner.device().isOpen());
    }
    EXPECT_EQ(userOption(13), QString());

    // No device open: 5, reported after start has returned so the caller can connect first.
    ScanReports reports(scanner);
    scanner.start(nullptr);
    EXPECT_EQ(reports.count(), 0);
    EXPECT_TRUE(scanner.waitForFinished(Timeout));
    EXPECT_EQ(reports.failure(), 5);
    EXPECT_EQ(progressDialog(), nullptr);
}

TEST_F(ScanControllerTest, TheProgressDialogCancelsTheScanAndGoesAndTheNextScanWorks)
{
    // Slow enough that the scan cannot end before the cancel: a pause after each piece of data.
    sane.setOption(QStringLiteral("read-delay"), QStringLiteral("true"));
    sane.setOption(QStringLiteral("read-delay-duration"), QStringLiteral("200000"));
    auto scanner = std::make_unique<ScanController>(archive);
    answerScanSettings(QStringLiteral("グレー"), 400);
    ASSERT_TRUE(scanner->open(nullptr));
    ScanReports reports(*scanner);
    scanner->start(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progressDialog() != nullptr; }, Timeout));
    EXPECT_EQ(errorNumber([&] { scanner->open(nullptr); }), 3); // busy while it runs
    scanner->start(nullptr);                                    // and a second start is ignored

    progressDialog()->findChild<QPushButton *>(QStringLiteral("Command"))->click();
    EXPECT_EQ(scanner->device().status(), ScanService::Status::Cancelling);
    EXPECT_TRUE(scanner->waitForFinished(Timeout));
    EXPECT_EQ(reports.cancels.count(), 1);
    EXPECT_EQ(reports.count(), 1);
    EXPECT_EQ(progressDialog(), nullptr);

    // The same device scans again, as the card does it: open, then start; nothing more comes
    // from the cancelled scan.
    answerScanSettings(QStringLiteral("白黒"), 100);
    ASSERT_TRUE(scanner->open(nullptr));
    scanner->start(nullptr);
    EXPECT_TRUE(scanner->waitForFinished(Timeout));
    EXPECT_EQ(reports.pages.count(), 1);
    EXPECT_EQ(reports.count(), 2);

    // A scanner that goes mid-scan stops its scan and takes its dialog with it.
    answerScanSettings(QStringLiteral("白黒"), 100);
    ASSERT_TRUE(scanner->open(nullptr));
    scanner->start(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progressDialog() != nullptr; }, Timeout));
    scanner.reset();
    EXPECT_EQ(progressDialog(), nullptr);
    EXPECT_FALSE(ScanService::busy());
    QCoreApplication::processEvents();
}
