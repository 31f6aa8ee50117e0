#include "lookup/help_frm.h"

#include "support/temp_db.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// Records 1..n with drawing numbers "D<id>" and product names "P<id>".
void seed(TempDb &t, int n)
{
    t.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                          "INSERT INTO DT (ID, Namae, Str1, Str2, Text1) "
                          "SELECT i, 'name' || i, 'D' || i, 'P' || i, 'memo' || i FROM n")
               .arg(n));
}

QStringList codes(const Help_frm &list)
{
    QStringList out;
    for (QLabel *label : list.hCode)
        out << label->text();
    return out;
}

// The identifiers first..last as the rows should show them, padded with blank rows.
QStringList page(int first, int last)
{
    QStringList out;
    for (int id = first; id <= last && out.size() < Help_frm::Rows; ++id)
        out << QString::number(id);
    while (out.size() < Help_frm::Rows)
        out << QString();
    return out;
}

void press(Help_frm &list, Qt::Key key, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(list.kana, key);
}

struct Lookup : ::testing::Test {
    TempDb t;
    Help_frm list{t.db()};
    void open(int records, const QString &state = QStringLiteral("ZUBAN"),
              const QString &text = QStringLiteral("D"))
    {
        seed(t, records);
        list.Init(state, text, QString());
        list.show();
    }
};

TEST_F(Lookup, SevenRecordsLeaveBlankRowsThatPickNothing)
{
    open(7);
    EXPECT_EQ(list.count(), 7);
    EXPECT_EQ(codes(list), page(1, 7));
    EXPECT_EQ(list.hKana[0]->text(), QStringLiteral("D1"));
    EXPECT_EQ(list.hRyaku[6]->text(), QStringLiteral("P7"));
    EXPECT_EQ(list.hNamae[6]->text(), QStringLiteral("memo7"));
    // Highlight colours follow the cursor.
    EXPECT_EQ(list.hCode[0]->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(list.hKana[0]->palette().color(QPalette::Window), QColor(0, 0, 0));
    press(list, Qt::Key_Down, 20);
    EXPECT_EQ(list.cursor(), 14);
    EXPECT_EQ(list.top(), 0);
    EXPECT_EQ(list.hCode[0]->palette().color(QPalette::Window), QColor(0, 0, 255));
    EXPECT_EQ(list.hKana[0]->palette().color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_EQ(list.hCode[14]->palette().color(QPalette::Window), QColor(0, 0, 0));
    press(list, Qt::Key_Return);
    EXPECT_FALSE(list.Picked);
    EXPECT_EQ(list.PickedValue, QString());
    EXPECT_FALSE(list.isVisible());
}

TEST_F(Lookup, ThirtyRecordsPageDownPastTheEndAndBack)
{
    open(30);
    press(list, Qt::Key_PageDown);
    EXPECT_EQ(list.top(), 15);
    EXPECT_EQ(codes(list), page(16, 30));
    press(list, Qt::Key_PageDown);
    EXPECT_EQ(list.top(), 30);
    EXPECT_EQ(codes(list), page(1, 0));
    press(list, Qt::Key_PageDown);
    EXPECT_EQ(list.top(), 16);
    EXPECT_EQ(codes(list), page(17, 30));
    EXPECT_EQ(list.cursor(), 0);
    // Scrolling stops with the last fourteen records and one empty row.
    press(list, Qt::Key_Down, 14 + 10);
    EXPECT_EQ(list.top(), 16);
    EXPECT_EQ(list.cursor(), 14);
    EXPECT_EQ(list.hCode[14]->text(), QString());
    press(list, Qt::Key_Return);
    EXPECT_FALSE(list.Picked);
}

TEST_F(Lookup, UpAndDownScrollAtTheEdgesAndPageUpReturnsToTheStart)
{
    open(20);
    press(list, Qt::Key_Down, 14 + 5);
    EXPECT_EQ(list.top(), 5);
    EXPECT_EQ(list.cursor(), 14);
    EXPECT_EQ(codes(list), page(6, 20));
    press(list, Qt::Key_PageUp);
    EXPECT_EQ(list.top(), 0);
    EXPECT_EQ(codes(list), page(1, 15));
    EXPECT_EQ(list.cursor(), 14);
    press(list, Qt::Key_Down);
    EXPECT_EQ(list.top(), 1);
    press(list, Qt::Key_Up, 14);
    EXPECT_EQ(list.cursor(), 0);
    EXPECT_EQ(list.top(), 1);
    press(list, Qt::Key_Up, 3);
    EXPECT_EQ(list.top(), 0);
    EXPECT_EQ(list.cursor(), 0);
    EXPECT_EQ(codes(list), page(1, 15));
}

TEST_F(Lookup, ReturnPicksTheIdentifierOfTheCursorRowAndEscapeForgetsIt)
{
    open(30);
    press(list, Qt::Key_Down, 11);
    ASSERT_EQ(list.hCode[11]->text(), QStringLiteral("12"));
    press(list, Qt::Key_Return);
    EXPECT_TRUE(list.Picked);
    EXPECT_EQ(list.PickedValue, QStringLiteral("12"));
    EXPECT_FALSE(list.isVisible());

    // The same window is reused; a fresh Init starts at the top again.
    list.Init(QStringLiteral("ZUBAN"), QStringLiteral("D"), QString());
    list.show();
    EXPECT_EQ(list.cursor(), 0);
    EXPECT_EQ(list.hCode[11]->palette().color(QPalette::Window), QColor(0, 0, 255));
    press(list, Qt::Key_Escape);
    EXPECT_FALSE(list.Picked);
    EXPECT_FALSE(list.isVisible());

    list.Init(QStringLiteral("ZUBAN"), QStringLiteral("D"), QString());
    list.show();
    list.close(); // the close box
    EXPECT_FALSE(list.Picked);
    EXPECT_FALSE(list.isVisible());
}

TEST_F(Lookup, AnEmptyResultIgnoresEveryMoveAndPicksNothing)
{
    open(5, QStringLiteral("ZUBAN"), QStringLiteral("nothing"));
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(codes(list), page(1, 0));
    for (Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Up})
        press(list, key);
    press(list, Qt::Key_Down, 20);
    EXPECT_EQ(list.top(), 0);
    EXPECT_EQ(list.cursor(), 14);
    press(list, Qt::Key_PageDown);
    EXPECT_EQ(codes(list), page(1, 0));
    press(list, Qt::Key_Return);
    EXPECT_FALSE(list.Picked);
}

TEST_F(Lookup, TheSearchTextMatchesLiterallyInTheChosenColumn)
{
    t.exec(QStringLiteral(
        "INSERT INTO DT (ID, Namae, Str1, Str2) VALUES "
        "(1, 'a', 'O''Brien-1', 'x'), (2, 'b', 'OBrien', 'O''Brien'), (3, 'c', 'A*B', 'y'), "
        "(4, 'd', 'AxB', 'z'), (5, 'e', 'R[1]#?', 'w'), (6, 'f', 'R1', 'v'), "
        "(7, 'g', '50%', 'u'), (8, 'h', '500', 't'), (9, 'i', 'a_b', 's'), (10, 'j', 'axb', 'r')"));
    auto ids = [&](const QString &state, const QString &text) {
        list.Init(state, text, QString());
        QStringList out = codes(list);
        out.removeAll(QString());
        return out;
    };
    EXPECT_EQ(ids(QStringLiteral("ZUBAN"), QStringLiteral("O'Brien")), QStringList{"1"});
    EXPECT_EQ(ids(QStringLiteral("HINNAMAE"), QStringLiteral("O'Brien")), QStringList{"2"});
    EXPECT_EQ(ids(QStringLiteral("ZUBAN"), QStringLiteral("*")), QStringList{"3"});
    EXPECT_EQ(ids(QStringLiteral("ZUBAN"), QStringLiteral("[1]#?")), QStringList{"5"});
    EXPECT_EQ(ids(QStringLiteral("ZUBAN"), QStringLiteral("0%")), QStringList{"7"});
    EXPECT_EQ(ids(QStringLiteral("ZUBAN"), QStringLiteral("_")), QStringList{"9"});
    EXPECT_EQ(ids(QStringLiteral("ZUBAN"), QStringLiteral("'; DELETE FROM DT; --")), QStringList{});
    EXPECT_EQ(ids(QStringLiteral("HINNAMAE"), QString()).size(), 10);
}

} // namespace
