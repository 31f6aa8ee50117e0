#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace zumen {

// The one notice dialog of the program: an icon, up to two lines of text and "OK".
// Open it through ShowAlert; it returns no answer.
class Alert_frm : public QDialog {
    Q_OBJECT
public:
    explicit Alert_frm(QWidget *parent = nullptr);

    // The message as handed in; character 13 breaks it onto a second line when shown.
    void setText(const QString &text);
    QString text() const { return m_text; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_text;
    QLabel *m_image;
    QLabel *m_message;
    QPushButton *m_command;
};

// Shows the text in a fresh alert and returns once the user has closed it.
void ShowAlert(const QString &text);

} // namespace zumen
