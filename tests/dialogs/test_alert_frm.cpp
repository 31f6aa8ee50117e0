#include "dialogs/alert_frm.h"
#include "widgets/ui.h"

#include "support/modal.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

TEST(ShowAlert, EachWaitsForItsOwnOkWhichTakesTheKeyboardAndIsGoneAfterwards)
{
    {
        AlertAnswerer alerts;
        ShowAlert(QStringLiteral("対象がありません。"));
        ShowAlert(QStringLiteral("設定のフォルダと異なります。"));
        // Each answered before ShowAlert came back: it waited for its OK.
        EXPECT_EQ(alerts.texts(), (QStringList{QStringLiteral("対象がありません。"),
                                               QStringLiteral("設定のフォルダと異なります。")}));
        EXPECT_EQ(alerts.openAtOnce(), (QList<int>{1, 1}));
    }
    // Only OK (Space works, so OK has the keyboard) or the close box end it; Escape does not.
    whenModal([&](QWidget *alert) {
        pressKey(alert, Qt::Key_Escape);
        EXPECT_TRUE(alert->isVisible());
        pressKey(alert, Qt::Key_Space);
    });
    ShowAlert(QStringLiteral("ピクチャーがありません。"));
    whenModal([](QWidget *alert) { alert->close(); });
    ShowAlert(QStringLiteral("スキャナを正しく接続してください。"));
    const QWidgetList all = QApplication::allWidgets();
    EXPECT_FALSE(
        std::any_of(all.begin(), all.end(), [](QWidget *w) { return qobject_cast<Alert_frm *>(w); }));
}

// An alert belongs to the active window, breaks its message at each character 13 into lines that
// all fit, and ends cleanly if the window behind goes away while it waits.
TEST(ShowAlert, LinesFitAndAGoneOwnerEndsTheAlert)
{
    const QString restart =
        QStringLiteral("一旦、システムを終了します。\r読めた行: レコード 399・ページ 399・履歴 "
                       "12・項目の設定 9・オプション 2・ウィンドウの位置 8。\r元のファイルは "
                       "/home/user/図面/QV.MDB.bak1 に残してあります。");
    auto *card = new QWidget;
    card->show();
    card->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(card));
    QString shown;
    bool fits = false;
    whenModal([&](QWidget *alert) {
        EXPECT_EQ(alert->parentWidget(), card);
        auto *message = alert->findChild<QLabel *>(QStringLiteral("Message"));
        shown = message->text();
        EXPECT_EQ(message->accessibleName(), shown);
        const QRect needed = QFontMetrics(message->font())
                                 .boundingRect(message->rect(), Qt::AlignLeft | Qt::TextWordWrap, shown);
        auto *ok = alert->findChild<QPushButton *>();
        fits = needed.height() <= message->height() && needed.width() <= message->width() &&
               ok->geometry().top() > message->geometry().bottom() &&
               ok->geometry().bottom() < alert->height();
        delete card;
    });
    ShowAlert(restart);
    EXPECT_EQ(shown, displayText(restart));
    EXPECT_TRUE(fits);
}
