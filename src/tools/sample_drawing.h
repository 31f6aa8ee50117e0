#pragma once

#include <QImage>
#include <QString>

namespace zumen {

// A machine drawing made up for the demo desk: frame, title block with the drawing
// number and name, and a part drawn from the seed. Greyscale, white paper, black lines.
QImage sampleDrawing(const QString &number, const QString &name, int seed, QSize size);

// The page shown for a page whose file is missing: a sheet that says so.
QImage placeholderPage();

} // namespace zumen
