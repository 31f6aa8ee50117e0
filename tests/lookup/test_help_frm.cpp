#include "lookup/help_frm.h"

#include "support/temp_db.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

struct Lookup : ::testing::Test {
    TempDb t;
    Help_frm list{t.db()};
    // Records 1..n with drawing numbers "DWG-<id>", product names "P<id>" and memos "memo<id>";
    // three characters or more are looked up through the text index.
    void open(int records, const QString &text = QStringLiteral("WG-"))
    {
        t.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                              "INSERT INTO DT (ID, Namae, Str1, Str2, Text1) "
                              "SELECT i, 'name' || i, 'DWG-' || i, 'P' || i, 'memo' || i FROM n")
                   .arg(records));
        list.Init(QStringLiteral("ZUBAN"), text, QString());
        list.show();
    }
    // The identifiers the rows show, blank rows included.
    QStringList codes() const
    {
        QStringList out;
        for (QLabel *label : list.hCode)
            out << label->text();
        return out;
    }
    // The rows as they should show first..last, padded with blank rows.
    static QStringList page(int first, int last)
    {
        QStringList out;
        for (int id = first; id <= last && out.size() < Help_frm::Rows; ++id)
            out << QString::number(id);
        while (out.size() < Help_frm::Rows)
            out << QString();
        return out;
    }
    void press(Qt::Key key, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(list.kana, key);
    }
};

TEST_F(Lookup, PagesAndTheCursorScrollThroughEveryRecordAndStopAtTheEnds)
{
    open(30);
    press(Qt::Key_PageDown);
    EXPECT_EQ(codes(), page(16, 30));
    press(Qt::Key_PageDown);
    EXPECT_EQ(codes(), page(1, 0)); // past the end
    press(Qt::Key_PageDown);
    EXPECT_EQ(codes(), page(17, 30));
    // Scrolling stops with the last fourteen records and one empty row.
    press(Qt::Key_Down, 14 + 10);
    EXPECT_EQ(list.top(), 16);
    EXPECT_EQ(list.cursor(), 14);
    press(Qt::Key_Up, 14 + 3);
    EXPECT_EQ(list.cursor(), 0);
    EXPECT_EQ(codes(), page(14, 28));
    press(Qt::Key_PageUp);
    press(Qt::Key_PageUp);
    EXPECT_EQ(codes(), page(1, 15));
}

TEST_F(Lookup, ReturnPicksTheCursorRowWhileEscapeBlankRowsAndEmptyListsPickNothing)
{
    open(7);
    EXPECT_EQ(codes(), page(1, 7));
    EXPECT_EQ(list.hRyaku[6]->text(), QStringLiteral("P7"));
    press(Qt::Key_Down, 20);
    EXPECT_EQ(list.hCode[14]->palette().color(QPalette::Window), QColor(0, 0, 0)); // the cursor row
    EXPECT_EQ(list.hCode[0]->palette().color(QPalette::Window), QColor(0, 0, 255));
    press(Qt::Key_Return);
    EXPECT_FALSE(list.Picked);
    EXPECT_FALSE(list.isVisible());

    // The same window is reused; a fresh Init starts at the top again.
    list.Init(QStringLiteral("ZUBAN"), QStringLiteral("D"), QString());
    list.show();
    press(Qt::Key_Down, 6);
    press(Qt::Key_Return);
    EXPECT_TRUE(list.Picked);
    EXPECT_EQ(list.PickedValue, QStringLiteral("7"));
    for (const QString &text : {QStringLiteral("D"), QStringLiteral("nothing")}) {
        list.Init(QStringLiteral("ZUBAN"), text, QString());
        list.show();
        press(Qt::Key_PageDown);
        press(text == "D" ? Qt::Key_Escape : Qt::Key_Return);
        EXPECT_FALSE(list.Picked);
        EXPECT_FALSE(list.isVisible());
    }
}

TEST_F(Lookup, TheSearchTextMatchesLiterallyInTheChosenColumn)
{
    t.exec(QStringLiteral(
        "INSERT INTO DT (ID, Namae, Str1, Str2) VALUES "
        "(1, 'a', 'O''Brien-1', 'x'), (2, 'b', 'OBrien', 'O''Brien'), (3, 'c', 'A*B', 'y'), "
        "(4, 'd', 'AxB', 'z'), (5, 'e', 'R[1]#?', 'w'), (6, 'f', 'R1', 'v'), "
        "(7, 'g', '50%', 'u'), (8, 'h', '500', 't'), (9, 'i', 'a_b', 's'), (10, 'j', 'axb', 'r')"));
    // Each text and the one record it should find ("" for none).
    const char *cases[][3] = {{"ZUBAN", "O'Brien", "1"},
                              {"HINNAMAE", "O'Brien", "2"},
                              {"ZUBAN", "*", "3"},
                              {"ZUBAN", "[1]#?", "5"},
                              {"ZUBAN", "50%", "7"},
                              {"ZUBAN", "a_b", "9"},
                              {"ZUBAN", "'; DELETE FROM DT; --", ""}};
    for (const auto &[state, text, id] : cases) {
        list.Init(QString::fromUtf8(state), QString::fromUtf8(text), QString());
        EXPECT_EQ(codes().first(), QString::fromUtf8(id)) << text;
        EXPECT_EQ(list.count(), *id ? 1 : 0) << text;
    }
}

} // namespace
