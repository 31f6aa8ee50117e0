#include "db/layouts.h"
#include "support/temp_db.h"

#include <gtest/gtest.h>

using namespace zumen;

namespace {

class Layouts : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Position 10 is outside every layout: only an eleventh row ever fills it.
        MainLayout[10] = LayoutItem{};
        HistoryLayout[10] = LayoutItem{};
    }
    void rows(const char *table, const QString &values)
    {
        t.exec(QStringLiteral("INSERT INTO %1 (ID, Koumoku, Eda, Label, fmat) VALUES %2")
                   .arg(QString::fromLatin1(table), values));
    }
    TempDb t;
};

TEST_F(Layouts, RowsFillPositionsInIdOrderWithoutGaps)
{
    rows("Desgn",
         QStringLiteral("(9, 'D', 1, 'date', ' '), (2, 'N', 1, 'count', '#,##0'), (5, 'S', 3, ' ', NULL)"));
    rows("DesgnHS", QStringLiteral("(0, 'M', 2, 'memo', ' ')"));
    LoadLayouts(t.db());
    EXPECT_EQ(MainLayout[0].kind, Kind::Number);
    EXPECT_EQ(MainLayout[0].fmat, QStringLiteral("#,##0"));
    EXPECT_EQ(MainLayout[1].column(), QStringLiteral("Str3"));
    EXPECT_EQ(MainLayout[1].label, QStringLiteral(" ")); // a stored blank stays one blank
    EXPECT_EQ(MainLayout[1].fmat, QString());            // Null reads as empty
    EXPECT_EQ(MainLayout[2].column(), QStringLiteral("Date1"));
    EXPECT_EQ(MainLayout[3].kind, Kind::NotSet);
    EXPECT_EQ(ItemCount(MainLayout), 3);
    EXPECT_EQ(HistoryLayout[0].column(), QStringLiteral("Text2"));
    EXPECT_EQ(ItemCount(HistoryLayout), 1);
}

TEST_F(Layouts, AnEmptyMainTableLeavesBothLayoutsCleared)
{
    rows("DesgnHS", QStringLiteral("(0, 'S', 1, 'x', ' ')"));
    MainLayout[0] = LayoutItem{Kind::Text, 1, QStringLiteral("left over"), {}};
    HistoryLayout[0] = LayoutItem{Kind::Text, 1, QStringLiteral("left over"), {}};
    LoadLayouts(t.db());
    EXPECT_EQ(MainLayout[0].kind, Kind::NotSet);
    EXPECT_EQ(HistoryLayout[0].kind, Kind::NotSet);
    EXPECT_TRUE(HistoryLayout[0].label.isEmpty());
}

TEST_F(Layouts, AnUnknownKindLetterEndsTheLayoutButKeepsItsOtherFields)
{
    rows("Desgn",
         QStringLiteral("(0, 'S', 1, 'a', ' '), (1, 'n', 4, 'lower', '0'), (2, 'N', 1, 'after', ' ')"));
    LoadLayouts(t.db());
    EXPECT_EQ(ItemCount(MainLayout), 1);
    EXPECT_EQ(MainLayout[1].kind, Kind::NotSet);
    EXPECT_EQ(MainLayout[1].eda, 4);
    EXPECT_EQ(MainLayout[1].label, QStringLiteral("lower"));
    EXPECT_EQ(MainLayout[2].kind, Kind::Number); // filled, but beyond the end every user stops at
}

TEST_F(Layouts, RowsPastTheEleventhAreIgnored)
{
    QStringList values;
    for (int i = 0; i < 14; ++i)
        values << QStringLiteral("(%1, 'S', %2, 'item %1', ' ')").arg(i).arg(i % 10 + 1);
    rows("Desgn", values.join(u','));
    LoadLayouts(t.db());
    EXPECT_EQ(ItemCount(MainLayout), 10);
    EXPECT_EQ(MainLayout[9].label, QStringLiteral("item 9"));
    EXPECT_EQ(MainLayout[10].label, QStringLiteral("item 10"));

    // Clearing leaves position 10 as it was.
    ClearLayouts();
    EXPECT_EQ(MainLayout[9].kind, Kind::NotSet);
    EXPECT_EQ(MainLayout[10].label, QStringLiteral("item 10"));
}

TEST_F(Layouts, AMissingTableIsAnEngineError)
{
    t.exec(QStringLiteral("DROP TABLE DesgnHS"));
    rows("Desgn", QStringLiteral("(0, 'S', 1, 'a', ' ')"));
    EXPECT_THROW(LoadLayouts(t.db()), std::exception);
}

} // namespace
