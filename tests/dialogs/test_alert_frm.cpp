#include "dialogs/alert_frm.h"
#include "widgets/ui.h"

#include "support/modal.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

int aliveAlerts()
{
    int alive = 0;
    for (QWidget *w : QApplication::allWidgets())
        alive += qobject_cast<Alert_frm *>(w) ? 1 : 0;
    return alive;
}

} // namespace

TEST(ShowAlert, EachAlertWaitsForItsOwnOkAndIsGoneAfterwards)
{
    AlertAnswerer alerts;
    ShowAlert(QStringLiteral("対象がありません。"));
    // Answered before ShowAlert came back: it waited for the OK.
    EXPECT_EQ(alerts.texts(), QStringList{QStringLiteral("対象がありません。")});
    EXPECT_EQ(aliveAlerts(), 0);

    ShowAlert(QStringLiteral("設定のフォルダと異なります。"));
    EXPECT_EQ(alerts.texts(), (QStringList{QStringLiteral("対象がありません。"),
                                           QStringLiteral("設定のフォルダと異なります。")}));
    EXPECT_EQ(alerts.openAtOnce(), (QList<int>{1, 1}));
    EXPECT_EQ(aliveAlerts(), 0);
}

TEST(ShowAlert, CarriageReturnsBreakTheMessageIntoLinesThatAllFit)
{
    const QString restart =
        QStringLiteral("一旦、システムを終了します。") + u'\r' + QStringLiteral("再起動してください。") +
        u'\r' +
        QStringLiteral("読めた行: レコード 399・ページ 399・履歴 12・項目の設定 9・オプション "
                       "2・ウィンドウの位置 8。") +
        u'\r' + QStringLiteral("元のファイルは /home/user/図面/QV.MDB.bak1 に残してあります。");
    QString shown;
    bool fits = false;
    whenModal([&](QWidget *alert) {
        auto *message = alert->findChild<QLabel *>(QStringLiteral("Message"));
        ASSERT_NE(message, nullptr);
        shown = message->text();
        EXPECT_EQ(message->accessibleName(), shown);
        const QFontMetrics metrics(message->font());
        const QRect needed = metrics.boundingRect(message->rect(), Qt::AlignLeft | Qt::TextWordWrap, shown);
        auto *ok = alert->findChild<QPushButton *>(QStringLiteral("Command"));
        fits = needed.height() <= message->height() && needed.width() <= message->width() &&
               ok->geometry().top() > message->geometry().bottom() &&
               ok->geometry().bottom() < alert->height();
        pressKey(alert, Qt::Key_Return);
    });
    ShowAlert(restart);
    EXPECT_EQ(shown, displayText(restart));
    EXPECT_TRUE(fits);
}

TEST(ShowAlert, OkTakesTheKeyboardAndOnlyOkOrTheCloseBoxEndIt)
{
    QString focused;
    bool openAfterEscape = false;
    whenModal([&](QWidget *alert) {
        auto *ok = alert->findChild<QPushButton *>(QStringLiteral("Command"));
        ASSERT_NE(ok, nullptr);
        EXPECT_FALSE(ok->focusPolicy() & Qt::TabFocus) << "buttons leave the Tab order";
        focused = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
        pressKey(alert, Qt::Key_Escape);
        openAfterEscape = alert->isVisible();
        pressKey(alert, Qt::Key_Space);
    });
    ShowAlert(QStringLiteral("ピクチャーがありません。"));
    EXPECT_EQ(focused, "Command");
    EXPECT_TRUE(openAfterEscape);

    whenModal([](QWidget *alert) {
        QTest::mouseClick(alert->findChild<QPushButton *>(QStringLiteral("Command")), Qt::LeftButton);
    });
    ShowAlert(QStringLiteral("スキャナを正しく接続してください。"));
    whenModal([](QWidget *alert) { alert->close(); });
    ShowAlert(QStringLiteral("スキャナを正しく接続してください。"));
    EXPECT_EQ(aliveAlerts(), 0);
}

TEST(ShowAlert, AnAlertBelongsToTheActiveWindowAndEndsCleanlyIfThatWindowGoes)
{
    auto *card = new QWidget;
    card->show();
    card->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(card));
    QWidget *owner = nullptr;
    whenModal([&](QWidget *alert) {
        owner = alert->parentWidget();
        // The window behind goes away while the alert waits; the alert must end cleanly.
        delete card;
    });
    ShowAlert(QStringLiteral("対象がありません。"));
    EXPECT_EQ(owner, card);
    EXPECT_EQ(aliveAlerts(), 0);
}
