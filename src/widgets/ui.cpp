#include "widgets/ui.h"

#include "text/utility.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

namespace zumen {
namespace {

double logicalDpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

} // namespace

int twipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips * logicalDpi() / 1440.0));
}

double pixelsToTwips(int pixels)
{
    return pixels * 1440.0 / logicalDpi();
}

QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

void installFontSubstitutions()
{
    QFont::insertSubstitutions(ProportionalGothic,
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    QFont::insertSubstitutions(FixedGothic, {QStringLiteral("IPAGothic"), QStringLiteral("Monospace")});
}

QFont windowFont(const QString &family, double points)
{
    QFont font(family);
    font.setPointSizeF(points);
    if (family == FixedGothic)
        font.setStyleHint(QFont::Monospace);
    return font;
}

void nameControl(QWidget &control, const QString &name, const QString &spokenName)
{
    control.setObjectName(name);
    control.setAccessibleDescription(name);
    if (!spokenName.isEmpty())
        control.setAccessibleName(spokenName);
}

void setLabelText(QLabel &label, const QString &text, const QString &caption)
{
    label.setText(text);
    label.setAccessibleName(caption.isEmpty() ? text : caption + u' ' + text);
}

void setColours(QWidget &widget, const QColor &text, const QColor &background)
{
    widget.setAutoFillBackground(true);
    QPalette p = widget.palette();
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Window, background);
    widget.setPalette(p);
}

QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return shown;
}

QString ClipToMaxLength(const QLineEdit &box)
{
    return ClipToMaxLength(box.text(), box.maxLength());
}

void SelectAllText(QLineEdit &box)
{
    box.setFocus();
    box.setSelection(0, static_cast<int>(box.text().size()));
}

void CenterForm(QWidget &form)
{
    // A dialog opens over the window it belongs to (its parent's, else the one in use), not
    // at a corner of the screen; it never hangs off the screen.
    const QWidget *owner = form.parentWidget() ? form.parentWidget()->window() : QApplication::activeWindow();
    if (owner == &form || (owner && !owner->isVisible()))
        owner = nullptr;
    QScreen *screen = owner ? owner->screen() : form.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        const QRect over = owner ? owner->frameGeometry() : area;
        const QSize size = form.frameGeometry().size();
        const int x = over.x() + (over.width() - size.width()) / 2;
        const int y = over.y() + (over.height() - size.height()) / 2;
        form.move(std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - size.width())),
                  std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    // Such controls are meant for the mouse; Tab should walk only the entry fields.
    for (QWidget *child : form.findChildren<QWidget *>()) {
        if (!qobject_cast<QPushButton *>(child) && !qobject_cast<QScrollBar *>(child) &&
            !qobject_cast<QCheckBox *>(child))
            continue;
        const Qt::FocusPolicy policy = child->focusPolicy();
        if (policy & Qt::TabFocus)
            child->setFocusPolicy(policy & Qt::ClickFocus ? Qt::ClickFocus : Qt::NoFocus);
    }
}

} // namespace zumen
