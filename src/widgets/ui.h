#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace zumen {

// Window geometry is kept in twips, 1440 to the inch, converted with the screen's logical
// resolution so that a placement means the same size on any screen.
int twipsToPixels(double twips);
double pixelsToTwips(int pixels);
QRect twipsRect(int left, int top, int width, int height);

// Font names the windows ask for; start-up maps them to installed Japanese fonts.
inline const QString ProportionalGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString FixedGothic = QStringLiteral("ＭＳ ゴシック");
void installFontSubstitutions();
QFont windowFont(const QString &family, double points);

// Names a control for tests, screen readers and automation: its name from the design
// ("eNamae", "Command(0)") as object name and accessible description, and the caption a
// reader should speak as its accessible name.
void nameControl(QWidget &control, const QString &name, const QString &spokenName = {});

// Sets a value label's text and keeps what a screen reader speaks in step with it:
// the text, or "caption text" where the bare value would not say what it is.
void setLabelText(QLabel &label, const QString &text, const QString &caption = {});

// A label's text and background colours (the card's white-on-teal and white-on-green labels).
void setColours(QWidget &widget, const QColor &text, const QColor &background);
inline const QColor Teal{0, 128, 128};
inline const QColor Green{0, 128, 0};

// Shows a text with a carriage return (character 13) in it as two lines.
QString displayText(const QString &text);

// The box's text cut to its maximum length in cp932 bytes.
QString ClipToMaxLength(const QLineEdit &box);
void SelectAllText(QLineEdit &box);
// Centres the window on the window it belongs to (its parent's, else the active one), or on
// the screen when there is none; buttons, scroll bars and check boxes leave the tab order.
void CenterForm(QWidget &form);

} // namespace zumen
