#include "card/info_frm.h"
#include "history/history_frm.h"
#include "support/modal.h"
#include "support/test_desk.h"
#include "widgets/flex_grid.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// History layout 日付 D1, 内容 S1, 費用 N1 "#,##0"; record 5 has entries 1, 2 and 4, record 6 none.
class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.exec(QStringLiteral(
            "INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'S', 1, '図番', ' ')"));
        d.exec(QStringLiteral(
            "INSERT INTO DesgnHS (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'D', 1, '日付', ' '),"
            " (1, 'S', 1, '内容', ' '), (2, 'N', 1, '費用', '#,##0')"));
        d.exec(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (5, 'five'), (6, 'six')"));
        d.exec(QStringLiteral(
            "INSERT INTO Hstry (ID, Page, Namae, Date1, Str1, Val1) VALUES "
            "(5, 1, 'first', '2001-03-05', 'new', 12345), (5, 2, 'second', NULL, 'change', 2.5),"
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
    void enter(QWidget *box, const QString &text)
    {
        static_cast<QLineEdit *>(box)->selectAll();
        if (text.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        typeText(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    Variant stored(int id, int page, const char *column)
    {
        Recordset rs = d.desk().db.openRecordset(
            QStringLiteral("SELECT * FROM Hstry WHERE ID=%1 AND Page=%2").arg(id).arg(page));
        return rs.eof() ? Variant(QStringLiteral("(no entry)")) : rs.field(QString::fromLatin1(column));
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

    // Escape, 戻る and stepping the record card each hide it.
    QTest::keyClick(card().eNamae, Qt::Key_Escape);
    EXPECT_FALSE(card().isVisible());
    QTest::mouseClick(d.desk().card->Command[5], Qt::LeftButton);
    click(4);
    EXPECT_FALSE(card().isVisible());
    QTest::mouseClick(d.desk().card->Command[5], Qt::LeftButton);
    QTest::mouseClick(d.desk().card->Command[2], Qt::LeftButton);
    EXPECT_FALSE(card().isVisible());
}

TEST_F(History, AddInsertsAfterTheHighestEntryAndStoresEmptyTextEmpty)
{
    click(2); // on entry 2
    click(0);
    EXPECT_EQ(card().Page->text(), QStringLiteral("5"));
    enter(card().eNamae, QString());
    enter(card().eNaiyou, QStringLiteral("H13/4/1"));
    enter(card().eNaiyou, QString());
    enter(card().eNaiyou, QStringLiteral("1,500円"));
    EXPECT_EQ(stored(5, 5, "Namae"), Variant(" ")); // an empty name is one blank
    EXPECT_EQ(stored(5, 5, "Str1"), Variant(""));   // an empty text stays empty here
    EXPECT_EQ(stored(5, 5, "Val1"), Variant(1500.0));
}

TEST_F(History, ARecordWithoutEntryOneSavesEntryOneOfItsOwn)
{
    card().Init(6);
    EXPECT_EQ(card().ID->text(), QStringLiteral("6"));
    EXPECT_EQ(card().Page->text(), QStringLiteral("1"));
    EXPECT_EQ(card().eNamae->text(), QString());
    click(3);
    enter(card().eNamae, QStringLiteral("made here"));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    EXPECT_EQ(stored(6, 1, "Namae"), Variant("made here"));
    EXPECT_EQ(stored(6, 9, "Namae"), Variant("other"));
}

class HistoryLayouts : public ::testing::Test {
protected:
    TestDesk d;
};

TEST_F(HistoryLayouts, TenItemsEndTheWalkAfterTheTenth)
{
    QStringList rows;
    for (int i = 0; i < 10; ++i)
        rows << QStringLiteral("(%1, 'S', %2, 'item %2', ' ')").arg(i).arg(i + 1);
    d.exec(QStringLiteral("INSERT INTO DesgnHS (ID, Koumoku, Eda, Label, fmat) VALUES ") + rows.join(u','));
    // The history layout is read only when the main layout has items.
    d.exec(
        QStringLiteral("INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'S', 1, '図番', ' ')"));
    d.exec(QStringLiteral("INSERT INTO DT (ID) VALUES (1)"));
    d.open();
    History_frm &h = *d.desk().history;
    h.Init(1);
    EXPECT_EQ(h.List->rows(), 11);
    QTest::keyClick(h.eNamae, Qt::Key_Return);
    for (int i = 1; i <= 10; ++i) {
        typeText(h.eNaiyou, QStringLiteral("v%1").arg(i));
        QTest::keyClick(h.eNaiyou, Qt::Key_Return);
    }
    EXPECT_FALSE(h.eNaiyou->isVisible());
    Recordset rs = d.desk().db.openRecordset(QStringLiteral("SELECT * FROM Hstry WHERE ID=1 AND Page=1"));
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.field(QStringLiteral("Str10")), Variant("v10"));
}

} // namespace
