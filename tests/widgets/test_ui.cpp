#include "widgets/ui.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

using namespace zumen;

TEST(Ui, CenterFormCentresAndTakesMouseControlsOutOfTheTabOrder)
{
    QWidget form;
    form.resize(200, 100);
    auto *button = new QPushButton(&form);
    auto *check = new QCheckBox(&form);
    auto *bar = new QScrollBar(&form);
    auto *edit = new QLineEdit(&form);
    bar->setFocusPolicy(Qt::StrongFocus);
    edit->setText("abc");

    CenterForm(form);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(form.geometry().center(), screen.center());
    EXPECT_EQ(form.size(), QSize(200, 100));

    // A dialog of a window opens over that window, and never off the screen.
    QWidget owner;
    owner.setGeometry(300, 200, 400, 300);
    owner.show();
    QWidget dialog(&owner, Qt::Dialog);
    dialog.resize(100, 60);
    CenterForm(dialog);
    EXPECT_EQ(dialog.geometry().center(), owner.frameGeometry().center());
    owner.move(screen.right() - 50, screen.bottom() - 50);
    CenterForm(dialog);
    EXPECT_TRUE(screen.contains(dialog.geometry())) << dialog.x() << "," << dialog.y();
    EXPECT_EQ(button->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(check->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(bar->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(edit->focusPolicy(), Qt::StrongFocus);

    form.show();
    SelectAllText(*edit);
    EXPECT_EQ(edit->selectedText(), "abc");
    edit->setMaxLength(4);
    edit->setText("日本語");
    EXPECT_EQ(ClipToMaxLength(*edit), "日本"); // cut to the box's length in cp932 bytes
}
