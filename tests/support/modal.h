#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QWidget;

// Driving modal windows from a test. A modal window runs its own event loop, so whatever
// should happen inside it must be arranged before the call that opens it; these helpers do
// it with a timer that polls QApplication::activeModalWidget().
//
//     whenModal([](QWidget *memo) { pressKey(memo, Qt::Key_F10); });
//     editor.showModal();
//
//     AlertAnswerer alerts;            // answers every alert until it goes out of scope
//     QTest::keyClick(box, Qt::Key_Return);
//     EXPECT_EQ(alerts.texts(), QStringList{"対象がありません。"});

// Calls action once with the next modal window that opens (one other than the modal window
// active now), from inside that window's event loop, once it is visible and active. The test
// fails if none opens within timeoutMs. The action must end the modal show: a window still
// open when it returns fails the test and is closed.
void whenModal(std::function<void(QWidget *)> action, int timeoutMs = 5000);

// Answers the next choice window (Confirm_frm) with its upper option: Up, then Enter.
void chooseUpperOption();

// Presses and releases a key where the keyboard focus is, as a user would: the application's
// focus widget when it lies in window, otherwise window's own focus child, otherwise window.
void pressKey(QWidget *window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Types text into widget one key at a time; unlike QTest::keyClicks it takes Japanese text.
void typeText(QWidget *widget, const QString &text);

// While it lives, answers every alert (zumen::Alert_frm) that opens: records its text and
// presses Enter in it. An alert that Enter does not close fails the test and is closed, so a
// broken alert cannot hang the run.
class AlertAnswerer {
public:
    AlertAnswerer();

    // The texts as handed to ShowAlert, character 13 included, in the order shown.
    QStringList texts() const { return m_texts; }
    // How many alerts were open at once when each one was answered (1 each when they wait
    // for one another).
    QList<int> openAtOnce() const { return m_openAtOnce; }

private:
    void poll();

    QTimer m_timer;
    QStringList m_texts;
    QList<int> m_openAtOnce;
};
