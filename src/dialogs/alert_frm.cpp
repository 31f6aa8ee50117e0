#include "dialogs/alert_frm.h"

#include "text/log.h"
#include "text/utility.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace zumen {

Alert_frm::Alert_frm(QWidget *parent)
    : QDialog(parent), m_image(new QLabel(this)), m_message(new QLabel(this)),
      m_command(new QPushButton(this))
{
    setWindowTitle(QStringLiteral("Zumen"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFixedSize(twipsToPixels(5970), twipsToPixels(1530));

    m_image->setGeometry(twipsToPixels(240), twipsToPixels(240), 32, 32);
    m_image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    nameControl(*m_image, QStringLiteral("Image1"));

    m_message->setGeometry(twipsRect(960, 240, 4800, 720));
    m_message->setFont(windowFont(FixedGothic, 9));
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_message->setTextFormat(Qt::PlainText);
    // An engine's error description can be longer than a line; wrapping keeps it readable.
    m_message->setWordWrap(true);
    nameControl(*m_message, QStringLiteral("Message"));

    m_command->setText(QStringLiteral("OK"));
    m_command->setGeometry(twipsRect((5970 - 1215) / 2, 1005, 1215, 375));
    nameControl(*m_command, QStringLiteral("Command"), m_command->text());
    // Enter and Space must reach "OK" even once it has left the Tab order.
    m_command->setDefault(true);
    m_command->setFocus();
    connect(m_command, &QPushButton::clicked, this, &QDialog::accept);
}

void Alert_frm::setText(const QString &text)
{
    m_text = text;
    m_message->setText(displayText(text));
    m_message->setAccessibleName(m_message->text());
    // A message of more lines than the design's three (a repair's counts) makes the window taller.
    const int height = std::max(twipsToPixels(720), m_message->heightForWidth(m_message->width()));
    m_message->resize(m_message->width(), height);
    const int below = m_message->geometry().bottom() + twipsToPixels(45);
    m_command->move(m_command->x(), below);
    setFixedSize(width(), below + m_command->height() + twipsToPixels(150));
}

void Alert_frm::keyPressEvent(QKeyEvent *event)
{
    // Only "OK" or the close box ends a notice: an Esc meant for the window below must not
    // dismiss it unread.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowAlert(const QString &text)
{
    // What the user was told is what a support person asks for first.
    qCInfo(logShown).noquote() << QString(text).replace(u'\r', QStringLiteral(" / "));
    // Owned by the active window so that it stays in front of it; guarded because that window
    // could go away while the alert waits.
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QPointer<Alert_frm> alert = new Alert_frm(owner);
    alert->setText(text);
    CenterForm(*alert);
    alert->exec();
    delete alert.data();
    // Not every window system gives the keyboard back to the window the user was typing in.
    if (owner)
        owner->activateWindow();
}

} // namespace zumen
