#include "dialogs/confirm_frm.h"

#include "text/utility.h"
#include "widgets/ui.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>

namespace zumen {

Confirm_frm::Confirm_frm(const QString &message, const QString &upper, const QString &lower, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("選択"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFont(windowFont(ProportionalGothic, 9));

    m_message = new QLabel(displayText(message), this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    nameControl(*m_message, QStringLiteral("Message"), m_message->text());
    // The message may list several items; the window grows to show them all.
    m_message->setGeometry(twipsRect(960, 240, 5400, 240));
    m_message->adjustSize();
    const int messageBottom = m_message->geometry().bottom() + twipsToPixels(120);

    m_image = new QLabel(this);
    m_image->setGeometry(twipsToPixels(240), twipsToPixels(240), 32, 32);
    m_image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    nameControl(*m_image, QStringLiteral("Image1"));

    m_frame = new QGroupBox(this);
    m_frame->setGeometry(twipsToPixels(960), messageBottom, twipsToPixels(4200), twipsToPixels(900));
    nameControl(*m_frame, QStringLiteral("Frame1"));
    const QString captions[] = {upper, lower};
    for (int i = 0; i < 2; ++i) {
        m_option[i] = new QRadioButton(captions[i], m_frame);
        m_option[i]->setGeometry(twipsRect(240, 150 + i * 360, 3800, 330));
        m_option[i]->installEventFilter(this);
        nameControl(*m_option[i], QStringLiteral("Option(%1)").arg(i), captions[i]);
    }
    m_option[1]->setChecked(true);
    m_option[1]->setFocus();

    m_label1 = new QLabel(QStringLiteral("↑、↓、リターンキーで決定します。"), this);
    m_label1->setGeometry(twipsToPixels(960), m_frame->geometry().bottom() + twipsToPixels(120),
                          twipsToPixels(4200), twipsToPixels(330));
    nameControl(*m_label1, QStringLiteral("Label1"), m_label1->text());

    setFixedSize(std::max(twipsToPixels(6600), m_message->geometry().right() + twipsToPixels(240)),
                 m_label1->geometry().bottom() + twipsToPixels(240));
}

bool Confirm_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const int index = watched == m_option[0] ? 0 : watched == m_option[1] ? 1 : -1;
    if (index < 0)
        return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        QRadioButton *next = m_option[key == Qt::Key_Up ? 0 : 1];
        next->setChecked(true);
        next->setFocus();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_choice = m_option[0]->isChecked() ? 0 : 1;
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool ConfirmChoice(const QString &message, const QString &upper, const QString &lower)
{
    Confirm_frm window(message, upper, lower);
    CenterForm(window);
    window.exec();
    return window.Choice() == 0;
}

} // namespace zumen
