#include "pages/scan_settings.h"

#include "db/options_store.h"
#include "support/temp_db.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

QStringList items(const QComboBox &box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts << box.itemText(i);
    return texts;
}

} // namespace

TEST(ScanSettingsDialog, OffersTheSheetsTheDeviceTakesAndRemembersPaperAndChecks)
{
    // An A3 flatbed, and a device that does not say how large it scans.
    const QList<ScanDevice> devices{{QStringLiteral("a3:0"), QStringLiteral("A3")},
                                    {QStringLiteral("plain:0"), QStringLiteral("Plain")}};
    const auto probe = [](const QString &device) {
        DeviceCapabilities caps;
        if (device == QStringLiteral("a3:0"))
            caps.maxArea = QSizeF(300, 432);
        return caps;
    };
    ScanSettings initial;
    initial.device = QStringLiteral("a3:0");
    initial.paperSize = QStringLiteral("A3 横"); // remembered from a larger device: too wide here
    ScanSettings_frm dialog(devices, initial, probe);
    dialog.show();
    auto *device = dialog.findChild<QComboBox *>(QStringLiteral("cDevice"));
    auto *paper = dialog.findChild<QComboBox *>(QStringLiteral("cPaper"));
    auto *deskew = dialog.findChild<QCheckBox *>(QStringLiteral("Check(0)"));
    ASSERT_TRUE(device && paper && deskew);
    EXPECT_EQ(items(*paper).join(u','), QStringLiteral("自動,A4 縦,A4 横,A3 縦,B4 縦,B5 縦,B5 横,最大"));
    EXPECT_EQ(paper->currentText(), QStringLiteral("自動"));

    // Keys as a user would press them: the last but one sheet, and deskew on.
    paper->setFocus();
    QTest::keyClick(paper, Qt::Key_End);
    QTest::keyClick(paper, Qt::Key_Up);
    QTest::mouseClick(deskew, Qt::LeftButton, {}, QPoint(4, deskew->height() / 2));
    // Another device offers only 自動; coming back keeps the sheet chosen.
    device->setFocus();
    QTest::keyClick(device, Qt::Key_Down);
    EXPECT_EQ(items(*paper), QStringList{QStringLiteral("自動")});
    QTest::keyClick(device, Qt::Key_Up);
    const ScanSettings chosen = dialog.settings();
    EXPECT_EQ(chosen.paperSize, QStringLiteral("B5 横"));
    EXPECT_TRUE(chosen.deskew);
    EXPECT_FALSE(chosen.skipBlank);

    TempDb temp;
    OptionsStore options(temp.db());
    saveScanSettings(options, chosen);
    EXPECT_EQ(options.read(17), QStringLiteral("B5 横"));
    EXPECT_EQ(options.read(18), QStringLiteral("1"));
    EXPECT_EQ(options.read(19), QStringLiteral("0"));
    const ScanSettings loaded = loadScanSettings(options);
    EXPECT_EQ(loaded.paperSize, chosen.paperSize);
    EXPECT_TRUE(loaded.deskew);
    EXPECT_FALSE(loaded.skipBlank);
}
