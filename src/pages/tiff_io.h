#pragma once

#include <QImage>
#include <QString>

namespace zumen {

// Writes a page as a bilevel TIFF with CCITT Group 4 compression, the archive form for
// drawings. The file is written under a temporary name and renamed, so a failure leaves
// an existing file as it was. Returns false with a message in *error on failure.
bool writeBilevelTiff(const QImage &image, const QString &path, int dpi, QString *error = nullptr);

} // namespace zumen
