#include "card/info_frm.h"
#include "pages/drawing_frm.h"
#include "search/srch_frm.h"
#include "search/srchlist_frm.h"
#include "support/modal.h"
#include "support/test_desk.h"
#include "widgets/flex_grid.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// 図番 S1, 作成日 D1, 数量 N1, 備考 M1, 品名 S2.
const QString Layout = QStringLiteral("(0, 'S', 1, '図番', ' '), (1, 'D', 1, '作成日', ' '), "
                                      "(2, 'N', 1, '数量', '#,##0'), (3, 'M', 1, '備考', ' '), "
                                      "(4, 'S', 2, '品名', ' ')");
const QString Rows = QStringLiteral("(3, 'three', 'A10', '2001-03-31', 30, 'no match', 'A-bolt'),"
                                    "(5, 'five', 'A1-05', '2001-04-01', 5, 'ab*cd', 'nut'),"
                                    "(7, 'seven', 'B1', '2001-04-15', 70, NULL, 'washer'),"
                                    "(9, NULL, 'A1-09', '2001-06-01', 9, 'the gear box', 'O''Brien'),"
                                    "(12, 'twelve', 'A1-12', '2001-05-01', 12, 'gearing', 'A*1'),"
                                    "(14, 'fourteen', 'A1x', NULL, 1.5, 'x', 'O''Brien''s'),"
                                    "(16, 'sixteen', 'C', NULL, NULL, NULL, '51x'),"
                                    "(17, 'seventeen', 'C', NULL, NULL, NULL, '#1x'),"
                                    "(18, 'eighteen', 'C', NULL, NULL, NULL, '[5]')");

enum Item { Zuban, Sakuseibi, Suuryou, Bikou, Hinmei };
enum Op { Eq, Ge, Le, Gt, Lt, Contains };

class Search : public ::testing::Test {
protected:
    // Seeds the layout and the records, then starts the card as start-up does.
    void open(const QString &layout = Layout, const QString &rows = Rows)
    {
        if (!layout.isEmpty())
            d.exec(QStringLiteral("INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES ") + layout);
        if (!rows.isEmpty())
            d.exec(QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Date1, Val1, Text1, Str2) VALUES ") +
                   rows);
        d.open();
    }
    Info_frm &card() { return *d.desk().card; }
    SrchList_frm *results() { return d.desk().search.list(); }

    // The open search window, if any.
    static Srch_frm *window()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *s = qobject_cast<Srch_frm *>(w); s && s->isVisible())
                return s;
        }
        return nullptr;
    }
    // The card's "検索", as the user presses it.
    Srch_frm &openSearch()
    {
        QTest::mouseClick(card().Command[3], Qt::LeftButton);
        Srch_frm *s = window();
        if (!s || !QTest::qWaitForWindowActive(s))
            ADD_FAILURE() << "the search window did not open";
        return *s;
    }
    // One condition entered from the keyboard: Home and Down in the lists, Enter to go on.
    static void addCondition(Srch_frm &s, int item, int op, const QString &value)
    {
        s.cbox[0]->setFocus();
        QTest::keyClick(s.cbox[0], Qt::Key_Home);
        for (int i = 0; i < item; ++i)
            QTest::keyClick(s.cbox[0], Qt::Key_Down);
        QTest::keyClick(s.cbox[0], Qt::Key_Return);
        QTest::keyClick(s.cbox[1], Qt::Key_Home);
        for (int i = 0; i < op; ++i)
            QTest::keyClick(s.cbox[1], Qt::Key_Down);
        QTest::keyClick(s.cbox[1], Qt::Key_Return);
        typeText(s.ebox, value);
        QTest::keyClick(s.ebox, Qt::Key_Return);
    }
    static void run(Srch_frm &s) { QTest::mouseClick(s.Command[0], Qt::LeftButton); }
    // The identifiers in the result list, top to bottom.
    QList<int> found()
    {
        QList<int> ids;
        for (int r = 1; results() && r < results()->rowCount(); ++r)
            ids << results()->textMatrix(r, 0).toInt();
        return ids;
    }
    // Runs the search on one condition in a fresh window and gives what it found.
    QList<int> searchFor(int item, int op, const QString &value)
    {
        Srch_frm &s = openSearch();
        QTest::mouseClick(s.Clear, Qt::LeftButton);
        addCondition(s, item, op, value);
        AlertAnswerer alerts; // a fault must fail the test, not leave it waiting on an alert
        run(s);
        EXPECT_EQ(alerts.texts(), QStringList()) << value.toStdString();
        return found();
    }
    void click(int button)
    {
        QTest::mouseClick(card().Command[static_cast<std::size_t>(button)], Qt::LeftButton);
    }

    TestDesk d;
};

TEST_F(Search, WindowOpensEmptyAndTheKeysWalkItsFields)
{
    open();
    Srch_frm &s = openSearch();
    EXPECT_EQ(s.cbox[0]->count(), 5);
    // Read out by their captions, with the entry as the value (not "=" as the name).
    QAccessibleInterface *op = QAccessible::queryAccessibleInterface(s.cbox[1]);
    EXPECT_EQ(op->text(QAccessible::Name), QStringLiteral("条件"));
    EXPECT_EQ(op->text(QAccessible::Value), QStringLiteral("="));

    s.cbox[0]->setFocus();
    QTest::keyClick(s.cbox[0], Qt::Key_Down);
    QTest::keyClick(s.cbox[0], Qt::Key_Up); // consumed: the selection stays
    EXPECT_EQ(s.cbox[0]->currentIndex(), 1);
    QTest::keyClick(s.cbox[0], Qt::Key_Return);
    EXPECT_TRUE(s.cbox[1]->hasFocus());
    QTest::keyClick(s.cbox[1], Qt::Key_Up);
    EXPECT_TRUE(s.cbox[0]->hasFocus());
    QTest::keyClick(s.cbox[0], Qt::Key_Return);
    s.ebox->setText(QStringLiteral("old"));
    QTest::keyClick(s.cbox[1], Qt::Key_Return);
    EXPECT_TRUE(s.ebox->hasFocus());
    EXPECT_EQ(s.ebox->selectedText(), QStringLiteral("old"));
    QTest::keyClick(s.ebox, Qt::Key_Up);
    EXPECT_TRUE(s.cbox[1]->hasFocus());
}

TEST_F(Search, ConditionsStayWhileOpenAndGoWithTheWindow)
{
    open();
    QPointer<Srch_frm> first = &openSearch();
    addCondition(*first, Zuban, Eq, QStringLiteral("A1"));
    EXPECT_EQ(openSearch().ConditionCount, 1); // "検索" again: the same window, conditions kept
    EXPECT_EQ(window(), first);

    QTest::keyClick(first->ebox, Qt::Key_Escape);
    EXPECT_EQ(window(), nullptr);
    Srch_frm &second = openSearch(); // at once, before the closed window is deleted
    EXPECT_NE(&second, first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));
    EXPECT_EQ(second.ConditionCount, 0);
    EXPECT_EQ(second.List->rows(), 1);
    addCondition(second, Zuban, Eq, QStringLiteral("A1"));
    QTest::mouseClick(second.Command[1], Qt::LeftButton); // 取消
    ASSERT_TRUE(QTest::qWaitFor([&] { return window() == nullptr; }));
    EXPECT_EQ(openSearch().ConditionCount, 0);
}

TEST_F(Search, RangeOnTwoItemsBuildsTheQueryAndListsWhatItFinds)
{
    open();
    Srch_frm &s = openSearch();
    addCondition(s, Zuban, Contains, QStringLiteral("A1"));
    // After "追加" the next item and ">=" are offered, the value box is empty.
    EXPECT_EQ(s.cbox[0]->currentIndex(), 1);
    EXPECT_EQ(s.cbox[1]->currentText(), QStringLiteral(">="));
    EXPECT_TRUE(s.ebox->text().isEmpty());
    EXPECT_TRUE(s.cbox[0]->hasFocus());
    addCondition(s, Sakuseibi, Ge, QStringLiteral(" 2001/04/01 "));
    EXPECT_EQ(s.List->textMatrix(2, 0), QStringLiteral("作成日"));
    EXPECT_EQ(s.List->textMatrix(2, 2), QStringLiteral("2001/04/01"));
    QString why;
    EXPECT_EQ(s.queryText(why),
              QStringLiteral("SELECT * FROM DT WHERE Str1 like 'A1*'  AND Date1 >= #2001/04/01# "));

    run(s);
    ASSERT_NE(results(), nullptr);
    EXPECT_TRUE(d.desk().search.active());
    EXPECT_TRUE(results()->isVisible());
    EXPECT_EQ(found(), (QList<int>{5, 9, 12})); // A10 is too early, A1x has no date
    EXPECT_EQ(results()->textMatrix(1, 1), QStringLiteral("five"));
    EXPECT_EQ(results()->textMatrix(2, 1), QString()); // Null name
    EXPECT_EQ(results()->currentRow(), 1);
    EXPECT_EQ(card().ID->text(), QStringLiteral("0")); // nothing shown before a double-click
    EXPECT_EQ(s.ConditionCount, 2);                    // the search window stays as it was

    // Narrowing the range refills the open list.
    SrchList_frm *list = results();
    addCondition(s, Sakuseibi, Le, QStringLiteral("2001/05/01"));
    run(s);
    EXPECT_EQ(results(), list);
    EXPECT_EQ(found(), (QList<int>{5, 12}));
}

TEST_F(Search, TextValuesMatchExactlyWhatWasTyped)
{
    open();
    EXPECT_EQ(searchFor(Hinmei, Ge, QStringLiteral("nut")), QList<int>{5}); // equality, not an order
    EXPECT_EQ(searchFor(Hinmei, Eq, QStringLiteral("O'Brien")), QList<int>{9});
    EXPECT_EQ(searchFor(Hinmei, Contains, QStringLiteral("O'Brien")), (QList<int>{9, 14}));
    // Pattern characters typed in a value stand for themselves.
    EXPECT_EQ(searchFor(Hinmei, Contains, QStringLiteral("A*")), QList<int>{12});
    EXPECT_EQ(searchFor(Hinmei, Contains, QStringLiteral("#1")), QList<int>{17});
    EXPECT_EQ(searchFor(Hinmei, Contains, QStringLiteral("[5")), QList<int>{18});
    EXPECT_EQ(searchFor(Zuban, Contains, QStringLiteral("a1-")), (QList<int>{5, 9, 12})); // any letter case
}

TEST_F(Search, MemosAreSearchedForTheTextAnywhereNumbersByValue)
{
    open();
    EXPECT_EQ(searchFor(Bikou, Contains, QStringLiteral("gear")), (QList<int>{9, 12}));
    EXPECT_EQ(searchFor(Bikou, Contains, QStringLiteral("b*c")), QList<int>{5});
    EXPECT_EQ(searchFor(Bikou, Eq, QStringLiteral("gearing")), QList<int>{12});
    EXPECT_EQ(searchFor(Suuryou, Lt, QStringLiteral("9")), (QList<int>{5, 14}));
    EXPECT_EQ(searchFor(Suuryou, Lt, QStringLiteral("９")),
              (QList<int>{5, 14})); // as an input method types it
}

TEST_F(Search, NothingToRunOrTooMuchIsSaid)
{
    open();
    Srch_frm &s = openSearch();
    AlertAnswerer alerts;
    run(s);
    EXPECT_EQ(alerts.texts(), QStringList{QStringLiteral("検索条件を追加してから実行してください。")});

    for (int i = 0; i < Srch_frm::MaxConditions; ++i)
        addCondition(s, Zuban, Contains, QStringLiteral("A"));
    EXPECT_EQ(s.ConditionCount, 11);
    addCondition(s, Hinmei, Eq, QStringLiteral("twelfth"));
    EXPECT_EQ(alerts.texts().size(), 2);
    EXPECT_EQ(alerts.texts().value(1), QStringLiteral("検索条件は 11 個までです。"));
    EXPECT_EQ(s.ConditionCount, 11);
    EXPECT_EQ(s.List->rows(), 12);
    EXPECT_EQ(s.ebox->text(), QStringLiteral("twelfth")); // kept for after a 条件クリア

    QTest::mouseClick(s.Clear, Qt::LeftButton);
    EXPECT_EQ(s.ConditionCount, 0);
    EXPECT_EQ(s.List->rows(), 1);
    addCondition(s, Zuban, Eq, QStringLiteral("none"));
    run(s);
    EXPECT_EQ(alerts.texts().value(2), QStringLiteral("対象がありません。"));
    EXPECT_EQ(s.ConditionCount, 1);
    EXPECT_EQ(results(), nullptr);
    EXPECT_FALSE(d.desk().search.active());
}

TEST_F(Search, ASingleItemLayoutKeepsItsItemSelected)
{
    open(QStringLiteral("(0, 'S', 1, '図番', ' '), (1, ' ', 0, '', ' '), (2, 'S', 2, '品名', ' ')"));
    Srch_frm &s = openSearch();
    EXPECT_EQ(s.cbox[0]->count(), 1); // items after the first one not set are not offered
    addCondition(s, Zuban, Contains, QStringLiteral("A1-0"));
    EXPECT_EQ(s.cbox[0]->currentIndex(), 0);
    addCondition(s, Zuban, Ge, QStringLiteral("A1-09"));
    run(s);
    EXPECT_EQ(found(), QList<int>{9});
}

TEST_F(Search, ALayoutWithoutItemsOffersNothingToRun)
{
    open(QString());
    AlertAnswerer alerts;
    Srch_frm &s = openSearch();
    const QString message = QStringLiteral("検索できる項目がありません。項目の設定を確かめてください。");
    EXPECT_EQ(alerts.texts(), QStringList{message});
    EXPECT_EQ(s.cbox[0]->count(), 0);
    QTest::mouseClick(s.Append, Qt::LeftButton);
    run(s);
    EXPECT_EQ(alerts.texts(), (QStringList{message, message, message}));
    EXPECT_EQ(s.ConditionCount, 0);
    EXPECT_EQ(results(), nullptr);
}

TEST_F(Search, EngineErrorsOnTheQueryAreShown)
{
    // A layout naming a column the table does not have.
    open(QStringLiteral("(0, 'S', 11, '予備', ' ')"));
    Srch_frm &s = openSearch();
    addCondition(s, 0, Eq, QStringLiteral("x"));
    AlertAnswerer alerts;
    run(s);
    ASSERT_EQ(alerts.texts().size(), 1);
    EXPECT_TRUE(alerts.texts()[0].contains(u'\r')) << alerts.texts()[0].toStdString();
    EXPECT_TRUE(s.isVisible());
    EXPECT_EQ(s.ConditionCount, 1);
    EXPECT_EQ(results(), nullptr);
}

TEST_F(Search, DoubleClickShowsTheRecordOfItsRowWhicheverColumn)
{
    open();
    EXPECT_EQ(searchFor(Zuban, Contains, QStringLiteral("A1")), (QList<int>{3, 5, 9, 12, 14}));
    QTableView *list = results()->List;
    const QModelIndex name = list->model()->index(3, 1);
    // A double-click's first press arrives as a click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(name).center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(name).center());
    EXPECT_EQ(card().ID->text(), QStringLiteral("12"));
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("twelve"));
    EXPECT_EQ(results()->currentRow(), 4);
    EXPECT_TRUE(d.desk().viewer->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return card().isActiveWindow(); }));

    // The card's steps now walk the list from the clicked row.
    click(2);
    EXPECT_EQ(card().ID->text(), QStringLiteral("14"));
}

TEST_F(Search, CardStepsWalkTheResultRowsInTheirOrder)
{
    open();
    // A result in an order of its own, as a list is filled by a search.
    d.desk().search.show(d.desk().db.openRecordset(
        QStringLiteral("SELECT * FROM DT WHERE ID=12 OR ID=5 OR ID=9 ORDER BY Namae DESC")));
    SrchList_frm *list = results();
    EXPECT_EQ(list->rowCount(), 4);

    click(2);
    EXPECT_EQ(card().ID->text(), QStringLiteral("5"));
    click(2);
    EXPECT_EQ(card().ID->text(), QStringLiteral("9"));
    click(1);
    EXPECT_EQ(card().ID->text(), QStringLiteral("5"));
    click(2);
    click(2); // row 3 is the last: nothing happens
    EXPECT_EQ(card().ID->text(), QStringLiteral("9"));
    EXPECT_EQ(list->currentRow(), 3);
    click(1);
    click(1);
    click(1);
    EXPECT_EQ(card().ID->text(), QStringLiteral("12"));
    EXPECT_EQ(list->currentRow(), 1);

    // Enter shows the current row's record, as a double-click does.
    QTest::keyClick(list->List, Qt::Key_Down);
    QTest::keyClick(list->List, Qt::Key_Return);
    EXPECT_EQ(card().ID->text(), QStringLiteral("5"));

    // Closing the list (its own 閉じる) returns the steps to the whole table.
    EXPECT_EQ(list->Close->accessibleName(), QStringLiteral("閉じる"));
    QTest::mouseClick(list->Close, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return results() == nullptr; }));
    EXPECT_FALSE(d.desk().search.active());
    click(2);
    EXPECT_EQ(card().ID->text(), QStringLiteral("7")); // the table's next, not the list's

    // A later search opens a fresh list, which the steps walk again; Esc closes it too.
    EXPECT_EQ(searchFor(Hinmei, Contains, QStringLiteral("O'")), (QList<int>{9, 14}));
    EXPECT_TRUE(d.desk().search.active());
    click(2);
    EXPECT_EQ(card().ID->text(), QStringLiteral("14"));
    click(1);
    EXPECT_EQ(card().ID->text(), QStringLiteral("9"));
    QTest::keyClick(results()->List, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return results() == nullptr; }));
    EXPECT_FALSE(d.desk().search.active());
}

TEST_F(Search, AHundredThousandHitsOpenTheWholeList)
{
    open(QStringLiteral("(0, 'S', 1, '図番', ' ')"), QString());
    d.desk().db.executeNative(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
                       "INSERT INTO DT (ID, Namae, Str1) SELECT i, 'name ' || i, 'X' || i FROM n"));
    Srch_frm &s = openSearch();
    addCondition(s, Zuban, Contains, QStringLiteral("X"));
    run(s);
    ASSERT_NE(results(), nullptr);
    EXPECT_EQ(results()->rowCount(), 100001);
    EXPECT_EQ(results()->textMatrix(100000, 0), QStringLiteral("100000"));
    EXPECT_EQ(results()->textMatrix(100000, 1), QStringLiteral("name 100000"));
    EXPECT_EQ(results()->textMatrix(40000, 1), QStringLiteral("name 40000"));
}

} // namespace
