#include "layout/desgn_frm.h"

#include "card/info_frm.h"
#include "support/modal.h"
#include "support/test_desk.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

const QString Restart =
    QStringLiteral("一旦、システムを終了します。") + QChar(13) + QStringLiteral("再起動してください。");
enum KindRow { NotSetRow, NumberRow, TextRow, DateRow, MemoRow }; // positions in the kind list
const char *ThreeItems = "INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES "
                         "(0, 'N', 1, '寸法', '#,##0'), (1, 'S', 1, '材質', ' '), (2, 'N', 2, '重量', '0.0')";
const QStringList ThreeRows{"0|N|1|寸法|#,##0", "1|S|1|材質| ", "2|N|2|重量|0.0"};

class Designer : public ::testing::Test {
protected:
    // Opens the designer by the card's hidden gesture: on the ID label for the data-record
    // layout, on "履歴" for the history layout.
    void gesture(bool history = false)
    {
        Info_frm &card = *m_desk.desk().card;
        QWidget *spot = history ? static_cast<QWidget *>(card.Command[5]) : card.ID;
        QTest::mousePress(spot, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        m_window = card.findChild<Desgn_frm *>();
        ASSERT_TRUE(m_window);
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_window->isActiveWindow(); }));
    }
    void open(bool history = false)
    {
        m_desk.open();
        gesture(history);
    }
    QStringList rows(const QString &table = QStringLiteral("Desgn"))
    {
        QStringList found;
        Statement query =
            m_desk.temp().db().prepare("SELECT ID, Koumoku, Eda, Label, fmat FROM " + table + " ORDER BY ID");
        while (query.step()) {
            QStringList fields;
            for (int i = 0; i < 5; ++i)
                fields << query.column(i).toString();
            found << fields.join('|');
        }
        return found;
    }
    QComboBox *cbox() { return m_window->findChild<QComboBox *>("cbox"); }
    QLineEdit *box(int i) { return m_window->findChild<QLineEdit *>(QStringLiteral("ebox(%1)").arg(i)); }
    QString shownNumber() { return m_window->findChild<QLabel *>("ID")->text(); }
    void press(int key) { pressKey(m_window, key); }
    void click(int i)
    {
        QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("Command(%1)").arg(i)),
                          Qt::LeftButton);
    }
    bool closed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_window.isNull();
    }
    // Fills the shown item from the keyboard, starting in the kind list, and moves on.
    void enterItem(KindRow kind, const QString &label, const QString &format)
    {
        cbox()->setCurrentIndex(kind);
        press(Qt::Key_Return);
        for (int i = 0; i < 2; ++i) {
            press(Qt::Key_Backspace);
            typeText(box(i), i ? format : label);
            press(Qt::Key_Return);
        }
    }

    TestDesk m_desk;
    QPointer<Desgn_frm> m_window;
};

} // namespace

TEST_F(Designer, ItemsAreNumberedPerKindClippedToTwentyBytesAndTheProgramEnds)
{
    open();
    EXPECT_EQ(shownNumber(), "1");
    // A double-byte character straddling the limit goes whole.
    enterItem(NumberRow, "aあいうえおかきくけこ", "#,##0.000000000000000000");
    EXPECT_EQ(shownNumber(), "2");
    enterItem(TextRow, "材質", "");
    enterItem(NumberRow, "重量", "0.0");
    enterItem(DateRow, "検図日", "");
    enterItem(NotSetRow, "", "");
    enterItem(MemoRow, "備考", ""); // after a 未設定: never written
    AlertAnswerer alerts;
    click(2);
    EXPECT_EQ(alerts.texts(), QStringList{Restart});
    EXPECT_EQ(rows(), (QStringList{"0|N|1|aあいうえおかきくけ|#,##0.00000000000000", "1|S|1|材質| ",
                                   "2|N|2|重量|0.0", "3|D|1|検図日| "}));
    EXPECT_TRUE(m_desk.ended());
    EXPECT_FALSE(m_desk.desk().db.isOpen());
    EXPECT_EQ(ItemCount(m_desk.desk().mainLayout), 0) << "the cards keep the layout loaded at start-up";
}

TEST_F(Designer, CancelEscAndAFailedWriteKeepTheOldLayout)
{
    m_desk.exec(ThreeItems);
    open();
    enterItem(DateRow, "変更", "x");
    click(3);
    EXPECT_TRUE(closed());
    gesture();
    EXPECT_EQ(box(0)->text(), "寸法") << "a fresh designer starts from the loaded layout";
    enterItem(DateRow, "変更", "x");
    press(Qt::Key_Return); // from the kind list into the label box
    press(Qt::Key_Escape);
    EXPECT_TRUE(closed());
    EXPECT_EQ(rows(), ThreeRows);

    m_desk.exec("CREATE TRIGGER t BEFORE INSERT ON Desgn BEGIN SELECT RAISE(ABORT,'x'); END");
    gesture();
    AlertAnswerer alerts;
    click(2);
    ASSERT_EQ(alerts.texts().size(), 1);
    EXPECT_NE(alerts.texts().first(), Restart);
    EXPECT_EQ(rows(), ThreeRows);
    EXPECT_FALSE(m_desk.ended());
    EXPECT_TRUE(m_desk.desk().db.isOpen());
    EXPECT_TRUE(m_window && m_window->isVisible()) << "the edits stay for another try";

    // Another desk changed the layout since it was loaded: refused, its rows stay.
    m_desk.exec("DROP TRIGGER t");
    m_desk.exec("UPDATE Desgn SET Label='他' WHERE ID=1");
    click(2);
    ASSERT_EQ(alerts.texts().size(), 2);
    EXPECT_TRUE(alerts.texts().last().startsWith("3197\r"));
    EXPECT_EQ(rows()[1], "1|S|1|他| ");
    EXPECT_FALSE(m_desk.ended());
}

TEST_F(Designer, ColumnChangesAreListedAndWrittenOnlyWhenConfirmed)
{
    m_desk.exec(ThreeItems);
    open();
    enterItem(TextRow, "寸法", "#,##0");
    QString shown;
    whenModal([&](QWidget *confirm) {
        shown = confirm->findChild<QLabel *>("Message")->text();
        pressKey(confirm, Qt::Key_Return); // "戻って直す" is chosen at first
    });
    click(2);
    EXPECT_TRUE(shown.contains("寸法: Val1 → Str1"));
    EXPECT_TRUE(shown.contains("材質: Str1 → Str2"));
    EXPECT_TRUE(shown.contains("重量: Val2 → Val1"));
    EXPECT_EQ(rows(), ThreeRows);
    ASSERT_TRUE(m_window && m_window->isVisible());

    chooseUpperOption();
    AlertAnswerer alerts;
    click(2);
    EXPECT_EQ(rows(), (QStringList{"0|S|1|寸法|#,##0", "1|S|2|材質| ", "2|N|1|重量|0.0"}));
    EXPECT_TRUE(m_desk.ended());
}

TEST_F(Designer, TheHistoryGestureEditsDesgnHSAndASecondGestureKeepsTheTarget)
{
    m_desk.exec(ThreeItems);
    open(true);
    EXPECT_EQ(m_window->findChild<QLabel *>("Title")->text(), "デザイン 履歴");
    enterItem(MemoRow, "経緯", "");
    // The ID gesture now brings the same designer forward, still on the history layout.
    gesture();
    EXPECT_EQ(m_desk.desk().card->findChildren<Desgn_frm *>().size(), 1);
    AlertAnswerer alerts;
    click(2);
    EXPECT_EQ(rows("DesgnHS"), QStringList{"0|M|1|経緯| "});
    EXPECT_EQ(rows(), ThreeRows);
}
