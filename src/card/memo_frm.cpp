#include "card/memo_frm.h"

#include "widgets/ui.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace zumen {

Memo_frm::Memo_frm(QWidget *parent)
    : QDialog(parent), m_koumoku(new QLabel(this)), m_memo(new QPlainTextEdit(this)),
      m_command(new QPushButton(QStringLiteral("戻る F10"), this))
{
    setWindowTitle(QStringLiteral("メモ"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(twipsToPixels(7200), twipsToPixels(5400));

    setColours(*m_koumoku, Qt::white, Green);
    m_koumoku->setFont(windowFont(ProportionalGothic, 9));
    m_koumoku->setMinimumWidth(twipsToPixels(2400));
    m_koumoku->setMargin(twipsToPixels(30));
    nameControl(*m_koumoku, QStringLiteral("Koumoku"));

    m_memo->setFont(windowFont(FixedGothic, 9));
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->installEventFilter(this);
    nameControl(*m_memo, QStringLiteral("Memo"));

    m_command->setFont(windowFont(ProportionalGothic, 9));
    m_command->setMinimumSize(twipsToPixels(1455), twipsToPixels(375));
    // Enter belongs to the text: it must never press the button, not even in a locked memo.
    m_command->setAutoDefault(false);
    nameControl(*m_command, QStringLiteral("Command"), m_command->text());
    connect(m_command, &QPushButton::clicked, this, &Memo_frm::finish);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(twipsToPixels(120), twipsToPixels(120), twipsToPixels(120),
                               twipsToPixels(120));
    layout->addWidget(m_koumoku, 0, Qt::AlignLeft);
    layout->addWidget(m_memo, 1);
    layout->addWidget(m_command, 0, Qt::AlignLeft);
}

void Memo_frm::Init(const QString &aKoumoku)
{
    setWindowTitle(QStringLiteral("メモ - ") + aKoumoku);
    m_koumoku->setText(aKoumoku);
    m_koumoku->setAccessibleName(aKoumoku);
    m_memo->setAccessibleName(aKoumoku);
    m_handedIn = pMemo;
    m_memo->setPlainText(pMemo);
    m_shownIn = m_memo->toPlainText();
}

void Memo_frm::setLocked(bool locked)
{
    m_memo->setReadOnly(locked);
    // Still readable from the keyboard: arrows and Page keys scroll a locked memo.
    if (locked)
        m_memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

int Memo_frm::showModal()
{
    const QPointer<QWidget> caller = QApplication::activeWindow();
    m_memo->setFocus();
    const int result = exec();
    // Not every window system gives the keyboard back to the calling window.
    if (caller)
        caller->activateWindow();
    return result;
}

bool Memo_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_memo && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_F10) {
        finish();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Memo_frm::keyPressEvent(QKeyEvent *event)
{
    // Esc must not throw away what was typed.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Memo_frm::finish()
{
    // The text box turns every line break into "\n". An untouched memo goes back exactly as it
    // came; an edited one keeps the line breaks it was stored with, CR LF for a new one.
    const QString text = m_memo->toPlainText();
    if (text == m_shownIn) {
        pMemo = m_handedIn;
    } else {
        const bool bareLf = m_handedIn.contains(u'\n') && !m_handedIn.contains(QStringLiteral("\r\n"));
        pMemo = text;
        if (!bareLf)
            pMemo.replace(u'\n', QStringLiteral("\r\n"));
    }
    accept();
}

} // namespace zumen
