#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>

class QGroupBox;
class QLabel;
class QRadioButton;

namespace zumen {

// A modal choice between two answers: Up and Down move between the options, Enter decides.
// The lower option is chosen at first, so a hasty Enter takes the cautious answer.
class Confirm_frm : public QDialog {
    Q_OBJECT
public:
    Confirm_frm(const QString &message, const QString &upper, const QString &lower,
                QWidget *parent = nullptr);

    // 0 for the upper option, 1 for the lower; -1 when the window was closed without Enter.
    int Choice() const { return m_choice; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_message;
    QGroupBox *m_frame;
    std::array<QRadioButton *, 2> m_option;
    QLabel *m_image;
    QLabel *m_label1;
    int m_choice = -1;
};

// Asks and waits; true only when the user decided on the upper option.
bool ConfirmChoice(const QString &message, const QString &upper, const QString &lower);

} // namespace zumen
