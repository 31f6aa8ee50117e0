#include "widgets/combo_setting.h"

#include <QComboBox>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

QList<int> numbers(const QComboBox &list)
{
    QList<int> out;
    for (int i = 0; i < list.count(); ++i)
        out << list.itemData(i).toInt();
    return out;
}

} // namespace

// The zoom list's numbers are what the viewer scales by, and it opens at 100 %.
TEST(ComboSetting, ZoomListNumbersAndSelection)
{
    QComboBox zoom;
    FillZoomList(zoom);
    EXPECT_EQ(numbers(zoom), QList<int>({25, 50, 75, 100, 150, 200, FitZoom}));
    EXPECT_EQ(SelectedItemData(zoom), 100);
}

TEST(ComboSetting, SelectionHandlerSeesNoNumbersWhileKindListFills)
{
    QComboBox kind;
    FillKindList(kind);
    kind.setCurrentIndex(2);
    QList<int> seen;
    QObject::connect(&kind, &QComboBox::currentIndexChanged, [&](int index) {
        if (index >= 0)
            seen << SelectedItemData(kind);
    });
    FillKindList(kind); // the second fill must not leave two sets of entries
    EXPECT_EQ(kind.count(), 5);
    EXPECT_EQ(kind.currentIndex(), 0);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last(), 0);
}

TEST(ComboSetting, SelectByItemData)
{
    QComboBox list;
    SelectByItemData(list, 1);
    EXPECT_EQ(list.currentIndex(), -1);

    AddListItem(list, QStringLiteral("a"), 7);
    AddListItem(list, QStringLiteral("b"), 9);
    AddListItem(list, QStringLiteral("c"), 9);
    SelectByItemData(list, 9);
    EXPECT_EQ(list.currentIndex(), 1); // the first match
    SelectByItemData(list, 8);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(SelectedItemData(list), 0);

    ClearList(list);
    EXPECT_EQ(list.count(), 0);
}
