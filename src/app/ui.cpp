#include "app/ui.h"

#include <QLabel>

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

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

} // namespace zumen
