#pragma once

#include "imaging/page_error.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace zumen {

// The largest page accepted, in pixels: an A0 sheet (841 x 1189 mm) scanned at 600 dpi is
// 19866 x 28087 = 558 million pixels, and scanners add a margin. In colour that is 2.4 GB in
// memory. A file that declares more is taken as damaged before any pixel is allocated.
constexpr qint64 MaxPagePixels = 600'000'000;

// How a page goes into a TIFF file. Compression is libtiff's code (COMPRESSION_*); 0, or a
// code that does not suit the image or that libtiff cannot write, means the archive default:
// Group 4 for a bilevel image, LZW for grey and colour. A resolution of 0 is left out.
struct TiffFormat {
    int compression = 0;
    bool minIsBlack = false; // bilevel only: 0 bits are black in the file
    int dpiX = 0;
    int dpiY = 0;
    // Over an existing multi-page file: the image replaces the first page and every other
    // page is copied as it is (its compressed strips or tiles unchanged, with its tags). When
    // that cannot be done in full the write fails and the file stays as it was.
    bool keepOtherPages = false;
};

// Writes a Mono, Grayscale8 or colour image as a one-page TIFF (colour as 8-bit RGB), or in
// place of the first page of the file there (keepOtherPages). The file is written under a
// temporary name and renamed, so a failure leaves an existing file as it was. Throws
// NumberedError PageErr::Unreadable with the reason, or PageErr::OtherPagesAtRisk when the
// other pages could not be kept.
void writeTiff(const QImage &image, const QString &path, const TiffFormat &format);

// A blank-to-be (uninitialised) 1-bit image of the size; a large one lies in huge pages, whose
// first touch costs a fraction of fresh small pages'. Null when there is no memory for it.
QImage monoImage(QSize size);

// Writes a page as a bilevel TIFF with CCITT Group 4 compression, the archive form for drawings.
void writeBilevelTiff(const QImage &image, const QString &path, int dpi);

// The first page of a TIFF file as libtiff sees it, the page the viewer shows. A bilevel page
// (one 1-bit sample, min-is-white or min-is-black) comes decoded as Format_Mono with 0 = white
// and 1 = black; other pages leave bilevel null for an image reader to decode.
struct TiffPage {
    QSize size;
    int compression = 0;
    int photometric = -1;
    int bitsPerSample = 0;
    int samplesPerPixel = 0;
    int dpiX = 0; // 0 when the file gives no usable resolution
    int dpiY = 0;
    QImage bilevel;

    bool isBilevel() const
    {
        return bitsPerSample == 1 && samplesPerPixel == 1 && (photometric == 0 || photometric == 1);
    }
};

// Reads the first page of path. Throws NumberedError PageErr::Undecodable for anything libtiff
// cannot open or decode to the last row and for a page larger than MaxPagePixels, and
// PageErr::NoMemory when the bilevel page does not fit in memory.
TiffPage readTiff(const QString &path);

} // namespace zumen
