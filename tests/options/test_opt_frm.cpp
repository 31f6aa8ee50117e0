#include "options/opt_frm.h"

#include "db/archive.h"
#include "support/modal.h"
#include "support/temp_db.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

using Rows = QList<std::pair<int, QString>>;

class Options : public ::testing::Test {
protected:
    ~Options() override { delete m_window.data(); }

    // Opens the window as the record card does and waits until it takes keys.
    Opt_frm &open()
    {
        m_archive = std::make_unique<Archive>(Database::open(m_db.path()));
        m_window = new Opt_frm(*m_archive);
        m_window->show();
        m_window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window));
        return *m_window;
    }
    Rows rows()
    {
        Rows found;
        Statement query = m_db.db().prepare("SELECT Code, Contents FROM UserOP ORDER BY Code");
        while (query.step())
            found.append({static_cast<int>(query.column(0).toInteger()), query.column(1).toString()});
        return found;
    }
    QLineEdit *box(const char *name) { return m_window->findChild<QLineEdit *>(name); }
    void press(int key) { pressKey(m_window, key); }
    void click(const char *button)
    {
        QTest::mouseClick(m_window->findChild<QPushButton *>(button), Qt::LeftButton);
    }
    // Closing deletes the window; deletion waits for the event loop.
    bool closed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_window.isNull();
    }

    TempDb m_db;
    std::unique_ptr<Archive> m_archive;
    QPointer<Opt_frm> m_window;
};

TEST_F(Options, FoldersAreShownAbsoluteAndStoredByEnterF10OrSaveButNeverByEscOrBack)
{
    m_db.exec("INSERT INTO UserOP (Code, Contents) VALUES (11, 'scan'), (12, NULL)");
    open();
    EXPECT_EQ(box("ebox(0)")->text(), QDir(m_db.folder()).filePath("scan"));
    // The window serves as the menu: the backup is offered where a user looks for it.
    const QPushButton *backup = m_window->findChild<QPushButton *>("Backup");
    ASSERT_TRUE(backup && backup->isVisible() && m_window->rect().contains(backup->geometry()));
    EXPECT_EQ(backup->accessibleName(), "バックアップ…");
    EXPECT_EQ(box("ebox(0)")->selectedText(), box("ebox(0)")->text());
    typeText(box("ebox(0)"), "  " + QDir(m_db.folder()).filePath("図面/スキャン/") + "  "); // replaces it
    press(Qt::Key_Return);
    press(Qt::Key_Enter); // the keypad's Enter works as well
    EXPECT_EQ(rows().value(0).second, "scan") << "nothing is stored before the confirmation field";
    press(Qt::Key_Return);
    EXPECT_EQ(rows(), (Rows{{11, "図面/スキャン"}, {12, " "}}));
    EXPECT_TRUE(closed());

    open();
    typeText(box("ebox(0)"), "S1");
    press(Qt::Key_F10);
    EXPECT_TRUE(closed());
    open();
    box("ebox(1)")->setFocus();
    typeText(box("ebox(1)"), "F2");
    click("Command(2)");
    EXPECT_TRUE(closed());
    const Rows stored{{11, "S1"}, {12, "F2"}};
    EXPECT_EQ(rows(), stored);

    open();
    typeText(box("ebox(0)"), "変更");
    press(Qt::Key_Escape);
    EXPECT_TRUE(closed());
    open();
    typeText(box("ebox(0)"), "変更");
    click("Command(0)");
    EXPECT_TRUE(closed());
    EXPECT_EQ(rows(), stored);
}

TEST_F(Options, AFailedSaveIsShownAndKeepsTheWindowWhatWasTypedAndTheFirstRow)
{
    m_db.exec("INSERT INTO UserOP (Code, Contents) VALUES (11, 'A')");
    m_db.exec("CREATE TRIGGER refuse BEFORE INSERT ON UserOP WHEN NEW.Code = 12 "
              "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    open();
    typeText(box("ebox(0)"), "新しい");
    AlertAnswerer alerts;
    for (int i = 0; i < 3; ++i)
        press(Qt::Key_Return);
    // The keyboard is back in the window for another try.
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window));
    press(Qt::Key_F10);
    ASSERT_EQ(alerts.texts().size(), 2);
    EXPECT_TRUE(alerts.texts()[0].contains(u'\r')) << "number, CR, description";
    EXPECT_EQ(rows(), (Rows{{11, "A"}}));
    EXPECT_FALSE(closed());
    EXPECT_EQ(box("ebox(0)")->text(), "新しい");

    // A store that cannot be read still opens the window.
    delete m_window.data();
    m_archive.reset();
    m_db.exec("DROP TABLE UserOP");
    open();
    EXPECT_EQ(alerts.texts().size(), 3);
}

TEST_F(Options, CsvImportWithABadRowWritesNothingAndSaysWhichAndAGoodOneRefreshesTheCard)
{
    open();
    int imported = 0;
    QObject::connect(m_window, &Opt_frm::recordsImported, [&] { ++imported; });
    const QString csv = QDir(m_db.folder()).filePath("in.csv");
    auto writeCsv = [&](const QByteArray &bytes) {
        QFile file(csv);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    AlertAnswerer alerts;
    writeCsv("ID,名前\r\n2,乙\r\nx,甲\r\n");
    m_window->importFrom(csv);
    writeCsv("ID,名前\r\n2,乙\r\n");
    m_window->importFrom(csv);
    ASSERT_EQ(alerts.texts().size(), 2);
    EXPECT_TRUE(alerts.texts()[0].startsWith("3 行目: ID「x」は") &&
                alerts.texts()[0].endsWith("何も書き込みませんでした。"));
    EXPECT_EQ(alerts.texts()[1], "1 件を読み込みました。");
    EXPECT_EQ(imported, 1);
    EXPECT_EQ(m_archive->records.record(2)->value("Namae"), zumen::Variant("乙"));

    m_window->exportTo(QDir(m_db.folder()).filePath("out.csv"), false);
    EXPECT_EQ(alerts.texts().value(2), "1 件を書き出しました。");
}

} // namespace
