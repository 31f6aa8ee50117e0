#include "card/memo_frm.h"

#include "support/modal.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// One editor for the whole suite, as the program keeps one for the whole run.
class MemoEditor : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_editor = new Memo_frm; }
    static void TearDownTestSuite() { delete s_editor.data(); }

    // Follows the callers' protocol: pMemo, Init, modal show; `user` acts inside the window.
    QString edit(const QString &memo, const std::function<void(QWidget *)> &user,
                 const QString &label = "備考")
    {
        s_editor->pMemo = memo;
        s_editor->Init(label);
        whenModal(user);
        m_result = s_editor->showModal();
        EXPECT_FALSE(s_editor->isVisible());
        return s_editor->pMemo;
    }

    static QPlainTextEdit *box(QWidget *window) { return window->findChild<QPlainTextEdit *>("Memo"); }

    static inline QPointer<Memo_frm> s_editor;
    int m_result = -1;
};

void pressF10(QWidget *window)
{
    pressKey(window, Qt::Key_F10);
}

} // namespace

TEST_F(MemoEditor, F10OnAnUntouchedMemoHandsBackExactlyWhatCameIn)
{
    const QString memos[] = {
        "", "一行", "一行目\r\n二行目\r\n", "a\nb", "a\rb", "  前後に空白  \r\n\r\n", "\tタブ"};
    for (const QString &memo : memos) {
        EXPECT_EQ(edit(memo, pressF10), memo);
        EXPECT_EQ(m_result, QDialog::Accepted);
    }
}

TEST_F(MemoEditor, EnterStartsANewLineAndTheButtonHandsBackTheEdit)
{
    bool openAfterEnter = false;
    const QString result = edit("一行目\r\n二行目", [&](QWidget *window) {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("メモ - 備考"));
        EXPECT_EQ(window->findChild<QLabel *>("Koumoku")->text(), "備考");
        QTest::keyClick(box(window), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(box(window), Qt::Key_Return);
        openAfterEnter = window->isVisible();
        typeText(box(window), "三行目");
        QTest::mouseClick(window->findChild<QPushButton *>("Command"), Qt::LeftButton);
    });
    EXPECT_TRUE(openAfterEnter);
    // An edited memo keeps the line breaks it came with.
    EXPECT_EQ(result, "一行目\r\n二行目\r\n三行目");
    EXPECT_EQ(m_result, QDialog::Accepted);

    EXPECT_EQ(edit("a\nb",
                   [](QWidget *window) {
                       QTest::keyClick(box(window), Qt::Key_End, Qt::ControlModifier);
                       typeText(box(window), "c");
                       pressF10(window);
                   }),
              "a\nbc");
    EXPECT_EQ(edit("",
                   [](QWidget *window) {
                       typeText(box(window), "x");
                       QTest::keyClick(box(window), Qt::Key_Return);
                       typeText(box(window), "y");
                       pressF10(window);
                   }),
              "x\r\ny");
}

TEST_F(MemoEditor, TheCloseBoxAndEscapeLoseNothing)
{
    // Closed through the window system: the caller reads pMemo as the memo's value, so it
    // must still be the memo handed in.
    EXPECT_EQ(edit("元の内容",
                   [](QWidget *window) {
                       typeText(box(window), "書きかけ");
                       window->close();
                   }),
              "元の内容");
    EXPECT_EQ(m_result, QDialog::Rejected);

    QString afterEscape;
    bool openAfterEscape = false;
    EXPECT_EQ(edit("元の内容",
                   [&](QWidget *window) {
                       QTest::keyClick(box(window), Qt::Key_End, Qt::ControlModifier);
                       typeText(box(window), "追記");
                       pressKey(window, Qt::Key_Escape);
                       openAfterEscape = window->isVisible();
                       afterEscape = box(window)->toPlainText();
                       pressF10(window);
                   }),
              "元の内容追記");
    EXPECT_TRUE(openAfterEscape);
    EXPECT_EQ(afterEscape, "元の内容追記");
}

TEST_F(MemoEditor, ALockedMemoRefusesChangesAndShowsItsCallersLabel)
{
    s_editor->setLocked(true);
    bool openAfterEnter = false;
    QString shownLabel;
    EXPECT_EQ(edit(
                  "見るだけ",
                  [&](QWidget *window) {
                      shownLabel = window->findChild<QLabel *>("Koumoku")->text();
                      typeText(box(window), "x");
                      QTest::keyClick(box(window), Qt::Key_Delete);
                      QTest::keyClick(box(window), Qt::Key_Return);
                      openAfterEnter = window->isVisible();
                      pressF10(window);
                  },
                  "メモ2"),
              "見るだけ");
    s_editor->setLocked(false);
    EXPECT_TRUE(openAfterEnter) << "Enter must not end a locked memo";
    EXPECT_EQ(shownLabel, "メモ2"); // the one editor shows each caller's label
}

TEST_F(MemoEditor, TheCallingWindowHasTheKeyboardAgainAfterwards)
{
    QWidget card;
    card.show();
    card.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&card));
    edit("x", pressF10);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&card));
}
