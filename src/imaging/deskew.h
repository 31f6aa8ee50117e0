#pragma once

#include <QImage>

namespace zumen {

struct Deskewed {
    QImage image;
    double angleDegrees = 0; // how far the page was turned; 0 when it was left as it was
};

// Finds how far the page lies askew (up to about 7 degrees either way) and turns it straight,
// keeping its size, format and resolution; corners that come in are white. A page whose skew is
// too small to matter, or cannot be told with confidence (blank, a photo), comes back unchanged.
// Bilevel pages stay bilevel; grey and colour pages are turned smoothly.
Deskewed deskew(const QImage &page);

} // namespace zumen
