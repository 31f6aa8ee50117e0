#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zumen {

// Reads or writes one memo value. Created once and reused: the caller sets pMemo, calls Init
// with the item's label, calls showModal and then reads pMemo back.
class Memo_frm : public QDialog {
    Q_OBJECT
public:
    explicit Memo_frm(QWidget *parent = nullptr);

    // The memo handed in, and after "戻る F10" the memo as the user left it. The close box
    // leaves it as it was.
    QString pMemo;

    // Shows aKoumoku as the item's label and pMemo in the text box.
    void Init(const QString &aKoumoku);
    // A locked memo can be read and scrolled but not changed.
    void setLocked(bool locked);
    // Returns when the editor hides: Accepted through F10 or the button, Rejected through the close box.
    int showModal();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void finish();

    QString m_handedIn;
    QString m_shownIn; // m_handedIn as the text box shows it
    QLabel *m_koumoku;
    QPlainTextEdit *m_memo;
    QPushButton *m_command;
};

} // namespace zumen
