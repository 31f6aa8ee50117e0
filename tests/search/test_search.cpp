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

const QString Layout = QStringLiteral("(0, 'S', 1, '図番', ' '), (1, 'D', 1, '作成日', ' ')");
const QString Rows = QStringLiteral("(3, 'three', 'A10', '2001-03-31'), (5, 'five', 'A1-05', '2001-04-01'),"
                                    "(7, 'seven', 'B1', '2001-04-15'), (9, NULL, 'A1-09', '2001-06-01'),"
                                    "(12, 'twelve', 'A1-12', '2001-05-01'), (14, 'fourteen', 'A1x', NULL)");
enum Item { Zuban, Sakuseibi };
enum Op { Eq, Ge, Le, Gt, Lt, Contains, Partial };

// On each engine: the file, and a shared archive on the test server.
class Search : public ::testing::TestWithParam<Dialect> {
protected:
    void SetUp() override { ZUMEN_REQUIRE_ENGINE(GetParam()); }
    // Seeds the layout and the records, then starts the card as start-up does.
    void open(const QString &layout = Layout)
    {
        if (!layout.isEmpty())
            d.exec(QStringLiteral("INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES ") + layout);
        d.exec(QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Date1) VALUES ") + Rows);
        d.open();
    }
    Info_frm &card() { return *d.desk().card; }
    SrchList_frm *results() { return d.desk().search.list(); }
    static Srch_frm *window()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *s = qobject_cast<Srch_frm *>(w); s && s->isVisible())
                return s;
        return nullptr;
    }
    // The card's "検索", as the user presses it.
    Srch_frm &openSearch()
    {
        click(3);
        Srch_frm *s = window();
        if (!s || !QTest::qWaitForWindowActive(s))
            ADD_FAILURE() << "the search window did not open";
        return *s;
    }
    // One condition entered from the keyboard: Home and Down in the lists, Enter to go on.
    static void addCondition(Srch_frm &s, int item, int op, const QString &value)
    {
        s.cbox[0]->setFocus();
        for (int list = 0; list < 2; ++list) {
            QTest::keyClick(s.cbox[list], Qt::Key_Home);
            for (int i = 0; i < (list ? op : item); ++i)
                QTest::keyClick(s.cbox[list], Qt::Key_Down);
            QTest::keyClick(s.cbox[list], Qt::Key_Return);
        }
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
    // Runs the search on one condition alone and gives what it found.
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
    QString shown() { return card().ID->text(); }

    TestDesk d{GetParam()};
};

TEST_P(Search, ConditionsStayWhileTheWindowIsOpenAndGoWithIt)
{
    open();
    QPointer<Srch_frm> first = &openSearch();
    // Read out by its caption, not by the entry.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(first->cbox[1])->text(QAccessible::Name),
              QStringLiteral("条件"));
    addCondition(*first, Zuban, Eq, QStringLiteral("A1"));
    EXPECT_EQ(openSearch().ConditionCount, 1); // "検索" again: the same window, conditions kept
    EXPECT_EQ(window(), first);

    QTest::keyClick(first->ebox, Qt::Key_Escape);
    Srch_frm &second = openSearch(); // at once, before the closed window is deleted
    EXPECT_NE(&second, first);
    EXPECT_EQ(second.ConditionCount, 0);
    addCondition(second, Zuban, Eq, QStringLiteral("A1"));
    QTest::mouseClick(second.Command[1], Qt::LeftButton); // 取消
    ASSERT_TRUE(QTest::qWaitFor([&] { return window() == nullptr; }));
    EXPECT_EQ(openSearch().ConditionCount, 0);
}

TEST_P(Search, ARangeOnTwoItemsListsWhatItFindsAndANarrowerOneRefillsTheList)
{
    open();
    Srch_frm &s = openSearch();
    addCondition(s, Zuban, Contains, QStringLiteral("A1"));
    addCondition(s, Sakuseibi, Ge, QStringLiteral(" 2001/04/01 "));
    run(s);
    ASSERT_NE(results(), nullptr);
    EXPECT_EQ(found(), (QList<int>{5, 9, 12}));        // A10 is too early, A1x has no date
    EXPECT_EQ(results()->textMatrix(2, 1), QString()); // Null name
    EXPECT_EQ(shown(), QStringLiteral("0"));           // nothing shown before a double-click
    EXPECT_EQ(s.ConditionCount, 2);

    SrchList_frm *list = results();
    addCondition(s, Sakuseibi, Le, QStringLiteral("2001/05/01"));
    run(s);
    EXPECT_EQ(results(), list);
    EXPECT_EQ(found(), (QList<int>{5, 12}));
}

TEST_P(Search, NothingToRunTooMuchOrNothingFoundIsSaid)
{
    open();
    Srch_frm &s = openSearch();
    AlertAnswerer alerts;
    run(s);
    for (int i = 0; i <= Srch_frm::MaxConditions; ++i)
        addCondition(s, Zuban, Contains, QStringLiteral("A"));
    EXPECT_EQ(s.ConditionCount, 11);
    EXPECT_EQ(s.ebox->text(), QStringLiteral("A")); // kept for after a 条件クリア
    QTest::mouseClick(s.Clear, Qt::LeftButton);
    addCondition(s, Zuban, Eq, QStringLiteral("none"));
    run(s);
    EXPECT_EQ(alerts.texts(), (QStringList{QStringLiteral("検索条件を追加してから実行してください。"),
                                           QStringLiteral("検索条件は 11 個までです。"),
                                           QStringLiteral("対象がありません。")}));
    EXPECT_EQ(s.ConditionCount, 1);
    EXPECT_EQ(results(), nullptr);
}

TEST_P(Search, ALayoutWithoutItemsOffersNothingToRun)
{
    open(QString());
    AlertAnswerer alerts;
    Srch_frm &s = openSearch();
    QTest::mouseClick(s.Append, Qt::LeftButton);
    run(s);
    const QString message = QStringLiteral("検索できる項目がありません。項目の設定を確かめてください。");
    EXPECT_EQ(alerts.texts(), (QStringList{message, message, message}));
    EXPECT_EQ(results(), nullptr);
}

TEST_P(Search, OnlyItemsBeforeTheFirstNotSetAreOfferedAndEngineErrorsAreShown)
{
    // The one item names a column the table does not have.
    open(QStringLiteral("(0, 'S', 11, '予備', ' '), (1, ' ', 0, '', ' '), (2, 'S', 2, '品名', ' ')"));
    Srch_frm &s = openSearch();
    EXPECT_EQ(s.cbox[0]->count(), 1);
    addCondition(s, 0, Eq, QStringLiteral("x"));
    EXPECT_EQ(s.cbox[0]->currentIndex(), 0);
    AlertAnswerer alerts;
    run(s);
    EXPECT_TRUE(alerts.texts().value(0).contains(u'\r')) << alerts.texts().value(0).toStdString();
    EXPECT_TRUE(s.isVisible());
    EXPECT_EQ(results(), nullptr);
}

TEST_P(Search, TheListShowsTheRecordOfItsRowAndTheCardStepsWalkItUntilItCloses)
{
    open();
    // 部分一致: anywhere in the value, full-width forms as their plain ones.
    EXPECT_EQ(searchFor(Zuban, Partial, QStringLiteral("１－０")), (QList<int>{5, 9}));
    EXPECT_EQ(searchFor(Zuban, Contains, QStringLiteral("A1")), (QList<int>{3, 5, 9, 12, 14}));
    QTableView *list = results()->List;
    const QPoint name = list->visualRect(list->model()->index(3, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, name); // a double-click's first press
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, name);
    EXPECT_EQ(shown(), QStringLiteral("12"));
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("twelve"));
    EXPECT_TRUE(d.desk().viewer->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return card().isActiveWindow(); }));
    click(2);
    EXPECT_EQ(shown(), QStringLiteral("14"));
    for (int i = 0; i < 4; ++i) // 3 is the list's first row; the table's steps would stop at 5
        click(1);
    EXPECT_EQ(shown(), QStringLiteral("3"));
    // Enter shows the current row's record, as a double-click does.
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(shown(), QStringLiteral("5"));

    // Closing the list returns the steps to the whole table.
    EXPECT_EQ(results()->Close->accessibleName(), QStringLiteral("閉じる"));
    QTest::mouseClick(results()->Close, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return results() == nullptr; }));
    click(2);
    EXPECT_EQ(shown(), QStringLiteral("7"));
}

INSTANTIATE_TEST_SUITE_P(Engines, Search, ::testing::Values(Dialect::SQLite, Dialect::PostgreSQL),
                         engineParamName);

} // namespace
