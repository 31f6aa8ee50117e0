#include "card/info_frm.h"
#include "pages/drawing_frm.h"
#include "pages/get_dir_frm.h"
#include "pages/pain.h"
#include "pages/select_device_frm.h"
#include "support/modal.h"
#include "support/test_desk.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

void pickDevice(int index)
{
    whenModal([index](QWidget *w) {
        auto *device = qobject_cast<SelectDevice_frm *>(w);
        ASSERT_NE(device, nullptr);
        QTest::mouseClick(device->Command[static_cast<std::size_t>(index)], Qt::LeftButton);
    });
}

// Walks the image file window as a user would: into each folder, then the file, then a button.
void pickFile(const QStringList &folders, const QString &file, int button = 0)
{
    whenModal([=](QWidget *w) {
        auto *import = qobject_cast<GetDir_frm *>(w);
        ASSERT_NE(import, nullptr);
        for (const QString &folder : folders) {
            const auto found = import->Dir1->findItems(folder, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << folder.toStdString();
            import->Dir1->setCurrentItem(found[0]);
            QTest::keyClick(import->Dir1, Qt::Key_Return);
        }
        if (!file.isEmpty()) {
            const auto found = import->File1->findItems(file, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << file.toStdString();
            import->File1->setCurrentItem(found[0]);
        }
        QTest::mouseClick(import->Command[static_cast<std::size_t>(button)], Qt::LeftButton);
    });
}

// Records 1 to 7; record 7 has pages 1 and 5, record 3 none. files/ holds top.tif and A/B/x.jpg.
class Append : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QDir root(d.temp().folder());
        root.mkpath(QStringLiteral("scan"));
        root.mkpath(QStringLiteral("files/A/B"));
        root.mkpath(QStringLiteral("files2"));
        QImage page(120, 80, QImage::Format_Grayscale8);
        page.fill(Qt::white);
        page.save(root.filePath(QStringLiteral("files/A/B/x.jpg")), "JPG");
        page.save(root.filePath(QStringLiteral("files/top.tif")), "TIFF");
        page.save(root.filePath(QStringLiteral("files2/other.bmp")), "BMP");
        files = root.filePath(QStringLiteral("files"));
        d.exec(QStringLiteral(
            "INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'S', 1, '図番', ' ')"));
        d.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (11, '%1'), (12, '%2')")
                   .arg(root.filePath(QStringLiteral("scan")), files));
        d.exec(QStringLiteral(
            "INSERT INTO DT (ID, Namae) VALUES (1, 'one'), (2, 'b'), (3, 'c'), (4, 'd'), (5, 'e'),"
            " (6, 'f'), (7, 'seven')"));
        d.exec(QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (7, 1, 'A/B', 'x.jpg'), "
                              "(7, 5, ' ', 'top.tif')"));
        d.open();
    }
    Info_frm &card() { return *d.desk().card; }
    QList<QStringList> pageRows(int id)
    {
        QList<QStringList> rows;
        Recordset rs =
            d.desk().db.openRecordset(QStringLiteral("SELECT * FROM PG WHERE ID=%1 ORDER BY Page").arg(id));
        while (!rs.eof()) {
            rows << QStringList{rs.field(QStringLiteral("Page")).toString(),
                                rs.field(QStringLiteral("Dir")).toString(),
                                rs.field(QStringLiteral("FileName")).toString()};
            rs.moveNext();
        }
        return rows;
    }
    bool recordExists(int id)
    {
        return !d.desk().db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID=%1").arg(id)).eof();
    }
    QString files;
    TestDesk d;
};

TEST_F(Append, BackLeavesCardAndViewerAsTheyWere)
{
    card().Display(7);
    pickDevice(SelectDevice_frm::Back);
    QTest::mouseClick(card().Command[0], Qt::LeftButton);
    EXPECT_EQ(card().ID->text(), QStringLiteral("7"));
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("seven"));
    EXPECT_TRUE(d.desk().viewer->pain->hasImage());

    whenModal([](QWidget *w) { w->close(); }); // the close box means the same
    card().DoAppend(false);
    EXPECT_EQ(card().ID->text(), QStringLiteral("7"));
}

TEST_F(Append, ANewRecordFromAFileGetsTheNextIdAndItsPageOnSave)
{
    card().Display(7);
    pickDevice(SelectDevice_frm::File);
    pickFile({QStringLiteral("A"), QStringLiteral("B")}, QStringLiteral("x.jpg"));
    QTest::mouseClick(card().Command[0], Qt::LeftButton);
    EXPECT_EQ(card().ID->text(), QStringLiteral("8"));
    EXPECT_EQ(d.desk().viewer->ID->text(), QStringLiteral("8"));
    EXPECT_EQ(d.desk().viewer->ID->accessibleName(), QStringLiteral("8")); // read out as shown
    EXPECT_EQ(card().session().mode, CardSession::Mode::New);
    EXPECT_TRUE(QTest::qWaitFor([&] { return card().eNamae->hasFocus(); }));
    EXPECT_EQ(card().eNamae->text(), QString()); // the card was cleared
    EXPECT_EQ(QFileInfo(d.desk().viewer->pain->image()).fileName(), QStringLiteral("x.jpg"));
    EXPECT_FALSE(recordExists(8)); // nothing is written before the save

    typeText(card().eNamae, QStringLiteral("eight"));
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    EXPECT_TRUE(recordExists(8));
    EXPECT_EQ(pageRows(8),
              (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("A/B"), QStringLiteral("x.jpg")}}));
}

TEST_F(Append, AFileFromTheFolderItselfIsRecordedWithAnEmptyFolderThenABlank)
{
    pickDevice(SelectDevice_frm::File);
    pickFile({}, QStringLiteral("top.tif"));
    card().DoAppend(false);
    QTest::keyClick(card().eNamae, Qt::Key_Return);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    EXPECT_EQ(pageRows(8), (QList<QStringList>{{QStringLiteral("1"), QString(), QStringLiteral("top.tif")}}));

    // The viewer's "追加" adds page 2 of the record the card shows.
    card().Display(8);
    pickDevice(SelectDevice_frm::File);
    pickFile({}, QStringLiteral("top.tif"));
    QTest::mouseClick(d.desk().viewer->Command[0], Qt::LeftButton);
    EXPECT_EQ(pageRows(8).value(1),
              (QStringList{QStringLiteral("2"), QStringLiteral(" "), QStringLiteral("top.tif")}));
    EXPECT_EQ(d.desk().viewer->ID->text(), QStringLiteral("8-2"));
}

TEST_F(Append, APageGoesAfterTheHighestNumberAndARecordWithoutPagesGetsNone)
{
    card().Display(7);
    pickDevice(SelectDevice_frm::File);
    pickFile({QStringLiteral("A"), QStringLiteral("B")}, QStringLiteral("x.jpg"));
    card().DoAppend(true);
    EXPECT_EQ(pageRows(7).size(), 3);
    EXPECT_EQ(pageRows(7).value(2),
              (QStringList{QStringLiteral("6"), QStringLiteral("A/B"), QStringLiteral("x.jpg")}));
    EXPECT_EQ(card().ID->text(), QStringLiteral("7"));
    EXPECT_EQ(d.desk().viewer->ID->text(), QStringLiteral("7-6"));

    card().Display(3);
    pickDevice(SelectDevice_frm::File);
    pickFile({QStringLiteral(".."), QStringLiteral("..")},
             QStringLiteral("top.tif")); // it opens where it was left
    AlertAnswerer alerts;
    card().DoAppend(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }));
    EXPECT_TRUE(pageRows(3).isEmpty());
    EXPECT_EQ(card().eNamae->text(), QString()); // cleared all the same
}

TEST_F(Append, CancellingTheImportLeavesAnEmptyCardWithTheNewIdentifier)
{
    card().Display(7);
    pickDevice(SelectDevice_frm::File);
    pickFile({}, QString(), 1);
    card().DoAppend(false);
    EXPECT_EQ(card().ID->text(), QStringLiteral("8"));
    EXPECT_EQ(card().eNamae->text(), QString());
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
    EXPECT_FALSE(recordExists(8));
}

TEST_F(Append, AnAbandonedNewRecordFromAFileLeavesTheFileWhereItLies)
{
    pickDevice(SelectDevice_frm::File);
    pickFile({}, QStringLiteral("top.tif"));
    card().DoAppend(false);
    ASSERT_EQ(card().session().mode, CardSession::Mode::New);
    chooseUpperOption();
    QTest::keyClick(card().eNamae, Qt::Key_Escape);
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
    EXPECT_FALSE(recordExists(8));
    EXPECT_TRUE(QFileInfo::exists(QDir(files).filePath(QStringLiteral("top.tif"))));
    EXPECT_EQ(card().ID->text(), QStringLiteral("0")); // nothing was shown before 追加
    EXPECT_EQ(d.desk().viewer->ID->accessibleName(), QStringLiteral("0"));
}

TEST_F(Append, TheImportRefusesFoldersOutsideTheFileFolderAndAMissingChoice)
{
    AlertAnswerer alerts;
    pickDevice(SelectDevice_frm::File);
    whenModal([this](QWidget *w) {
        auto *import = qobject_cast<GetDir_frm *>(w);
        // Outside: the folder above, and a sibling whose name merely starts the same.
        import->setPath(QDir(files).filePath(QStringLiteral("..")));
        QTest::mouseClick(import->Command[0], Qt::LeftButton);
        import->setPath(files + QStringLiteral("2"));
        import->File1->setCurrentRow(0);
        QTest::mouseClick(import->Command[0], Qt::LeftButton);
        // Inside, but no file chosen.
        import->setPath(files);
        QTest::mouseClick(import->Command[0], Qt::LeftButton);
        EXPECT_TRUE(import->isVisible());
        import->close(); // the close box cancels
    });
    card().DoAppend(false);
    EXPECT_EQ(alerts.texts(), (QStringList{QStringLiteral("設定のフォルダと異なります。"),
                                           QStringLiteral("設定のフォルダと異なります。"),
                                           QStringLiteral("取り込むファイルを選んでください。")}));
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
}

// 追加 while another program holds the file: no number can be read, so nothing starts. The
// card keeps record 5, and no import or scan can land on that record's page.
TEST_F(Append, AddingWhileTheFileIsLockedStartsNothing)
{
    card().Display(5);
    sqlite3_busy_timeout(d.desk().db.handle(), 50);
    d.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    AlertAnswerer alerts;
    bool importOpened = false;
    QTimer importCloser;
    QObject::connect(&importCloser, &QTimer::timeout, [&] {
        if (auto *import = qobject_cast<GetDir_frm *>(QApplication::activeModalWidget())) {
            importOpened = true;
            import->close();
        }
    });
    importCloser.start(5);
    pickDevice(SelectDevice_frm::File);
    card().DoAppend(false);
    d.exec(QStringLiteral("ROLLBACK"));
    ASSERT_EQ(alerts.texts().size(), 1);
    EXPECT_TRUE(alerts.texts()[0].startsWith(QStringLiteral("3260\r"))) << alerts.texts()[0].toStdString();
    EXPECT_FALSE(importOpened);
    EXPECT_EQ(card().ID->text(), QStringLiteral("5"));
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("e"));
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
}

} // namespace
