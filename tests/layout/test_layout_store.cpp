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

TEST_F(Layouts, RowsFillPositionsInIdOrderAndAnUnknownLetterOrAnEmptyTableEndsTheLayout)
{
    rows("Desgn",
         QStringLiteral("(9, 'D', 1, 'date', ' '), (2, 'N', 1, 'count', '#,##0'), "
                        "(5, 'S', 3, ' ', NULL), (11, 'n', 4, 'lower', '0'), (12, 'N', 2, 'after', ' ')"));
    rows("DesgnHS", QStringLiteral("(0, 'M', 2, 'memo', ' ')"));
    load();
    EXPECT_EQ(record[0].fmat, QStringLiteral("#,##0"));
    EXPECT_EQ(record[1].column(), QStringLiteral("Str3"));
    EXPECT_EQ(record[1].label, QStringLiteral(" ")); // a stored blank stays one blank
    EXPECT_EQ(record[1].fmat, QString());            // Null reads as empty
    EXPECT_EQ(record[2].column(), QStringLiteral("Date1"));
    EXPECT_EQ(ItemCount(record), 3);
    EXPECT_EQ(history[0].column(), QStringLiteral("Text2"));
    EXPECT_EQ(ItemCount(history), 1);

    // An empty main table leaves both cleared.
    t.exec(QStringLiteral("DELETE FROM Desgn"));
    load();
    EXPECT_EQ(record[0].kind, Kind::NotSet);
    EXPECT_EQ(history[0].kind, Kind::NotSet);
}

} // namespace
