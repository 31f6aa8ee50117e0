#include "db/layout_store.h"
#include "support/temp_db.h"

#include <gtest/gtest.h>

using namespace zumen;

namespace {

class Layouts : public ::testing::Test {
protected:
    void rows(const char *table, const QString &values)
    {
        t.exec(QStringLiteral("INSERT INTO %1 (ID, Koumoku, Eda, Label, fmat) VALUES %2")
                   .arg(QString::fromLatin1(table), values));
    }
    void load() { LayoutStore(t.db()).load(record, history); }
    TempDb t;
    Layout record;
    Layout history;
};

TEST_F(Layouts, RowsFillPositionsInIdOrderAndAnUnknownLetterEndsTheLayout)
{
    rows("Desgn",
         QStringLiteral("(9, 'D', 1, 'date', ' '), (2, 'N', 1, 'count', '#,##0'), (5, 'S', 3, ' ', NULL),"
                        "(11, 'n', 4, 'lower', '0'), (12, 'N', 2, 'after', ' ')"));
    rows("DesgnHS", QStringLiteral("(0, 'M', 2, 'memo', ' ')"));
    load();
    EXPECT_EQ(record[0].fmat, QStringLiteral("#,##0"));
    EXPECT_EQ(record[1].column(), QStringLiteral("Str3"));
    EXPECT_EQ(record[1].label, QStringLiteral(" ")); // a stored blank stays one blank
    EXPECT_EQ(record[1].fmat, QString());            // Null reads as empty
    EXPECT_EQ(record[2].column(), QStringLiteral("Date1"));
    EXPECT_EQ(ItemCount(record), 3);
    EXPECT_EQ(record[3].eda, 4); // the unknown letter keeps its other fields
    EXPECT_EQ(record[4].kind, Kind::Number);
    EXPECT_EQ(history[0].column(), QStringLiteral("Text2"));
    EXPECT_EQ(ItemCount(history), 1);
}

TEST_F(Layouts, AnEmptyMainTableLeavesBothClearedAndRowsPastTheEleventhAreIgnored)
{
    rows("DesgnHS", QStringLiteral("(0, 'S', 1, 'x', ' ')"));
    record[0] = history[0] = LayoutItem{Kind::Text, 1, QStringLiteral("left over"), {}};
    load();
    EXPECT_EQ(record[0].kind, Kind::NotSet);
    EXPECT_EQ(history[0].kind, Kind::NotSet);

    QStringList values;
    for (int i = 0; i < 14; ++i)
        values << QStringLiteral("(%1, 'S', %2, 'item %1', ' ')").arg(i).arg(i % 10 + 1);
    rows("Desgn", values.join(u','));
    load();
    EXPECT_EQ(ItemCount(record), 10);
    EXPECT_EQ(record[10].label, QStringLiteral("item 10"));
    // Position 10 lies outside every layout: loading again clears 0 to 9 only.
    t.exec(QStringLiteral("DELETE FROM Desgn WHERE ID > 0"));
    record[10].label = QStringLiteral("kept");
    load();
    EXPECT_EQ(record[1].kind, Kind::NotSet);
    EXPECT_EQ(record[10].label, QStringLiteral("kept"));
}

TEST_F(Layouts, WriteReplacesTheRowsUpToTheFirstItemNotSetAndReadsBackTheSame)
{
    rows("DesgnHS", QStringLiteral("(0, 'S', 1, 'old', ' '), (1, 'S', 2, 'old', ' ')"));
    Layout written;
    written.fill(LayoutItem{Kind::NotSet, 0, {}, {}});
    written[0] = LayoutItem{Kind::Memo, 1, QStringLiteral("備考"), QString()};
    written[1] = LayoutItem{Kind::Number, 2, QStringLiteral("数量"), QStringLiteral("#,##0")};
    written[3] = LayoutItem{Kind::Text, 1, QStringLiteral("past the end"), {}};
    rows("Desgn", QStringLiteral("(0, 'S', 1, 'main', ' ')"));
    LayoutStore(t.db()).write(LayoutStore::Table::History, written);
    load();
    EXPECT_EQ(ItemCount(history), 2);
    EXPECT_EQ(history[0].column(), QStringLiteral("Text1"));
    EXPECT_EQ(history[0].fmat, QStringLiteral(" ")); // an empty text is stored as one blank
    EXPECT_EQ(history[1].column(), QStringLiteral("Val2"));
    EXPECT_EQ(record[0].label, QStringLiteral("main")); // the other table is left alone

    // A failing write keeps the old rows whole.
    t.exec(QStringLiteral("CREATE TRIGGER no_m BEFORE INSERT ON DesgnHS WHEN NEW.Koumoku='N' "
                          "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    EXPECT_THROW(LayoutStore(t.db()).write(LayoutStore::Table::History, written), std::exception);
    load();
    EXPECT_EQ(ItemCount(history), 2);
}

} // namespace
