#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QWidget;

// Driving modal windows from a test. A modal window runs its own event loop, so what should
// happen inside it is arranged before the call that opens it, by a timer that polls
// QApplication::activeModalWidget().

// Calls action once, from inside its event loop, with the next modal window that opens and
// becomes active. The action must close it: none within timeoutMs, or one still open after
// the action, fails the test (and is closed).
void whenModal(std::function<void(QWidget *)> action, int timeoutMs = 5000);

// Answers the next choice window (Confirm_frm) with its upper option: Up, then Enter.
void chooseUpperOption();

// Presses and releases a key where the user's keyboard focus is inside window.
void pressKey(QWidget *window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Types text into widget one key at a time; unlike QTest::keyClicks it takes Japanese text.
void typeText(QWidget *widget, const QString &text);

// While it lives, answers every alert (zumen::Alert_frm) with Enter and records its text; an
// alert that Enter does not close fails the test, so a broken alert cannot hang the run.
class AlertAnswerer {
public:
    AlertAnswerer();

    // The texts as handed to ShowAlert, character 13 included, in the order shown.
    QStringList texts() const { return m_texts; }
    // How many alerts were open at once when each one was answered.
    QList<int> openAtOnce() const { return m_openAtOnce; }

private:
    void poll();

    QTimer m_timer;
    QStringList m_texts;
    QList<int> m_openAtOnce;
};
