#include "card/memo_frm.h"

#include "support/modal.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

QPlainTextEdit *box(QWidget *window)
{
    return window->findChild<QPlainTextEdit *>("Memo");
}

// Follows the callers' protocol: pMemo, Init, modal show; `user` acts inside the window.
QString edit(Memo_frm &editor, const QString &memo, const std::function<void(QWidget *)> &user)
{
    editor.pMemo = memo;
    editor.Init("備考");
    whenModal(user);
    editor.showModal();
    return editor.pMemo;
}

// Appends text at the end of the memo, Enter starting new lines, and hands it back with `key`.
std::function<void(QWidget *)> append(const QStringList &lines, int key = Qt::Key_F10)
{
    return [=](QWidget *window) {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("メモ - 備考"));
        EXPECT_EQ(window->findChild<QLabel *>("Koumoku")->text(), "備考");
        QTest::keyClick(box(window), Qt::Key_End, Qt::ControlModifier);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(box(window), Qt::Key_Return);
            typeText(box(window), lines[i]);
        }
        EXPECT_TRUE(window->isVisible()); // Enter belongs to the text
        if (key == Qt::Key_Escape) {
            pressKey(window, Qt::Key_Escape); // Escape alone ends nothing
            EXPECT_TRUE(window->isVisible());
            window->close(); // the close box hands back the memo as it came in
        } else if (key == Qt::Key_Space) {
            QTest::mouseClick(window->findChild<QPushButton *>("Command"), Qt::LeftButton);
        } else {
            pressKey(window, key);
        }
    };
}

// Line breaks come back as they came in; new lines are CR LF. A closed window loses nothing.
TEST(MemoEditor, HandsBackTheEditWithItsLineBreaksAndTheCloseBoxTheOriginal)
{
    Memo_frm editor;
    const struct {
        QString in;
        QStringList typed;
        int key;
        QString out;
    } cases[] = {
        {"一行目\r\n二行目\r\n", {}, Qt::Key_F10, "一行目\r\n二行目\r\n"},
        {"a\rb\n\tc  ", {}, Qt::Key_F10, "a\rb\n\tc  "},
        {"一行目\r\n二行目", {"", "三行目"}, Qt::Key_Space, "一行目\r\n二行目\r\n三行目"},
        {"a\nb", {"c"}, Qt::Key_F10, "a\nbc"},
        {"", {"x", "y"}, Qt::Key_F10, "x\r\ny"},
        {"元の内容", {"書きかけ"}, Qt::Key_Escape, "元の内容"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(edit(editor, c.in, append(c.typed, c.key)), c.out) << c.in.toStdString();

    editor.setLocked(true);
    EXPECT_EQ(edit(editor, "見るだけ", append({"x", "y"})), "見るだけ");
}

} // namespace
