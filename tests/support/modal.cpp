#include "support/modal.h"

#include "dialogs/alert_frm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Visible and ready for keys: on any platform activation can trail the show by an event.
bool ready(QWidget *window)
{
    return window->isVisible() && window->isActiveWindow();
}

int openAlerts()
{
    int open = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        open += qobject_cast<zumen::Alert_frm *>(w) && w->isVisible() ? 1 : 0;
    return open;
}

} // namespace

void whenModal(std::function<void(QWidget *)> action, int timeoutMs)
{
    auto *timer = new QTimer(qApp);
    QPointer<QWidget> before = QApplication::activeModalWidget();
    QElapsedTimer clock;
    clock.start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != before.data() && ready(modal)) {
            timer->stop();
            timer->deleteLater();
            QPointer<QWidget> guard = modal;
            action(modal);
            // Still waiting: a test that failed to end it must fail, not hang.
            if (guard && guard->isVisible() && QApplication::activeModalWidget() == guard) {
                ADD_FAILURE() << "the modal window " << guard->objectName().toStdString() << " \""
                              << guard->windowTitle().toStdString() << "\" is still open";
                guard->close();
            }
        } else if (clock.hasExpired(timeoutMs)) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window opened within " << timeoutMs << " ms";
        }
    });
    timer->start();
}

void chooseUpperOption()
{
    whenModal([](QWidget *w) {
        pressKey(w, Qt::Key_Up);
        pressKey(w, Qt::Key_Return);
    });
}

void pressKey(QWidget *window, int key, Qt::KeyboardModifiers modifiers)
{
    QWidget *target = QApplication::focusWidget();
    if (!target || target->window() != window->window())
        target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        const bool ascii = c.unicode() < 0x80;
        QTest::sendKeyEvent(QTest::Click, widget, ascii ? QTest::asciiToKey(c.toLatin1()) : Qt::Key_unknown,
                            QString(c), Qt::NoModifier);
    }
}

AlertAnswerer::AlertAnswerer()
{
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start();
}

void AlertAnswerer::poll()
{
    auto *alert = qobject_cast<zumen::Alert_frm *>(QApplication::activeModalWidget());
    if (!alert || !ready(alert))
        return;
    m_texts << alert->text();
    m_openAtOnce << openAlerts();
    QPointer<zumen::Alert_frm> guard = alert;
    pressKey(alert, Qt::Key_Return);
    if (guard && guard->isVisible()) {
        ADD_FAILURE() << "Enter did not close the alert \"" << alert->text().toStdString() << "\"";
        guard->reject();
    }
}
