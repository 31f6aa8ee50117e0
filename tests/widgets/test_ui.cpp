#include "widgets/combo_setting.h"
#include "widgets/ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace zumen;

TEST(Ui, CenterFormTakesMouseControlsOutOfTheTabOrder)
{
    QWidget owner;
    auto *button = new QPushButton(&owner);
    auto *check = new QCheckBox(&owner);
    auto *edit = new QLineEdit(&owner);
    CenterForm(owner);
    EXPECT_EQ(button->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(check->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(edit->focusPolicy(), Qt::StrongFocus);
}

TEST(ComboSetting, ARefilledKindListHoldsOneSetAndHandlersSeeNoStaleNumbers)
{
    QComboBox kind;
    FillKindList(kind);
    kind.setCurrentIndex(2);
    QList<int> seen; // what a selection handler reads while the list fills
    QObject::connect(&kind, &QComboBox::currentIndexChanged, [&](int i) {
        if (i >= 0)
            seen << SelectedItemData(kind);
    });
    FillKindList(kind);
    EXPECT_EQ(kind.count(), 5);
    EXPECT_EQ(seen.value(seen.size() - 1, -1), 0);
}
