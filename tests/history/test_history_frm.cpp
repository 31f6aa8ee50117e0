#include "card/info_frm.h"
#include "history/history_frm.h"
#include "support/modal.h"
#include "support/test_desk.h"
#include "widgets/flex_grid.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// History layout 日付 D1, 内容 S1, 費用 N1 "#,##0", then 品目 S2 to S8; record 5 has entries 1,
// 2 and 4, record 6 only entry 9.
class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.exec(QStringLiteral(
            "INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'S', 1, '図番', ' ')"));
        d.exec(QStringLiteral(
            "INSERT INTO DesgnHS (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'D', 1, '日付', ' '),"
            " (1, 'S', 1, '内容', ' '), (2, 'N', 1, '費用', '#,##0')"));
        for (int i = 3; i < 10; ++i) // ten items: the walk must end after the last
            d.exec(QStringLiteral("INSERT INTO DesgnHS VALUES (%1, 'S', %2, '品目', ' ')").arg(i).arg(i - 1));
        d.exec(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (5, 'five'), (6, 'six')"));
        d.exec(
            QStringLiteral("INSERT INTO Hstry (ID, Page, Namae, Date1, Str1, Val1) VALUES "
                           "(5, 1, 'first', '2001-03-05', 'new', 12345), (5, 2, 'second', NULL, NULL, 2.5),"
                           "(5, 4, 'fourth', NULL, NULL, NULL), (6, 9, 'other', NULL, NULL, NULL)"));
        d.open();
        d.desk().card->Display(5);
        QTest::mouseClick(d.desk().card->Command[5], Qt::LeftButton); // 履歴
    }
    History_frm &card() { return *d.desk().history; }
    void click(int button)
    {
        QTest::mouseClick(card().Command[static_cast<std::size_t>(button)], Qt::LeftButton);
    }
    // Walks the entry from the name box, typing the given texts and Enter on the rest.
    void walk(const QStringList &texts)
    {
        QLineEdit *box = card().eNamae;
        for (int i = 0; i < 12 && box->isVisible(); ++i, box = card().eNaiyou) {
            box->setText(
                texts.value(box == card().eNamae ? 0 : card().session().currentItem + 1, box->text()));
            QTest::keyClick(box, Qt::Key_Return);
        }
    }
    Variant stored(int id, int page, const char *column)
    {
        return d.desk().histories.entry(id, page).value_or(RowValues()).value(QString::fromLatin1(column));
    }
    TestDesk d;
};

TEST_F(History, OpensOnEntryOneStepsOnlyToEntriesThatExistAndHides)
{
    ASSERT_TRUE(card().isVisible());
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("first"));
    EXPECT_EQ(card().List->textMatrix(3, 1), QStringLiteral("12,345"));
    click(2);
    click(2);                                                               // there is no entry 3: stays on 2
    EXPECT_EQ(card().Page->accessibleName(), QStringLiteral("履歴番号 2")); // never a bare number
    EXPECT_EQ(card().ID->accessibleName(), QStringLiteral("番号 5"));
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("second"));

    // Escape hides it, and so does stepping the record card.
    QTest::keyClick(card().eNamae, Qt::Key_Escape);
    EXPECT_FALSE(card().isVisible());
    QTest::mouseClick(d.desk().card->Command[5], Qt::LeftButton);
    QTest::mouseClick(d.desk().card->Command[2], Qt::LeftButton);
    EXPECT_FALSE(card().isVisible());
}

// 追加 numbers past the highest entry; a record without entry 1 saves one of its own. The walk
// ends after the tenth item.
TEST_F(History, NewEntriesTakeTheirOwnNumberAndStoreEveryItem)
{
    click(2); // on entry 2
    click(0);
    EXPECT_EQ(card().Page->text(), QStringLiteral("5"));
    walk({QString(), QStringLiteral("H13/4/1"), QString(), QStringLiteral("1,500円")});
    EXPECT_EQ(stored(5, 5, "Namae"), Variant(" ")); // an empty name is one blank
    EXPECT_EQ(stored(5, 5, "Str1"), Variant(""));   // an empty text stays empty here
    EXPECT_EQ(stored(5, 5, "Val1"), Variant(1500.0));

    card().Init(6);
    EXPECT_EQ(card().Page->text(), QStringLiteral("1"));
    click(3);
    walk({QStringLiteral("made here"), {}, {}, {}, {}, {}, {}, {}, {}, {}, QStringLiteral("v10")});
    EXPECT_EQ(stored(6, 1, "Namae"), Variant("made here"));
    EXPECT_EQ(stored(6, 1, "Str8"), Variant("v10"));
    EXPECT_EQ(stored(6, 9, "Namae"), Variant("other"));
}

} // namespace
