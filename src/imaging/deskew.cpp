#include "imaging/deskew.h"

#include <leptonica/allheaders.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace zumen {

namespace {

// Turning by less than this moves no line of a drawing by a pixel it would show.
constexpr double MinAngle = 0.05;
// Below this the search found no clear direction of lines: a blank page or a picture.
constexpr float MinConfidence = 3.0f;

struct PixFree {
    void operator()(PIX *pix) const { pixDestroy(&pix); }
};
using Pix = std::unique_ptr<PIX, PixFree>;

bool blackIsOne(const QImage &mono)
{
    return mono.colorCount() < 2 || qGray(mono.color(1)) <= qGray(mono.color(0));
}

// Rows of 1 or 8 bits are laid out alike in both, byte for byte; the library keeps them in
// 32-bit words of the machine's byte order, hence the swap.
Pix toPix(const QImage &image, int depth)
{
    Pix pix(pixCreate(image.width(), image.height(), depth));
    if (!pix)
        return pix;
    const int wpl = pixGetWpl(pix.get());
    l_uint32 *data = pixGetData(pix.get());
    if (depth == 32) {
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            l_uint32 *out = data + qsizetype{y} * wpl;
            for (int x = 0; x < image.width(); ++x)
                out[x] = (line[x] << 8) | 0xff;
        }
        return pix;
    }
    const qsizetype bytes = std::min<qsizetype>(image.bytesPerLine(), qsizetype{wpl} * 4);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(data + qsizetype{y} * wpl, image.constScanLine(y), bytes);
    pixEndianByteSwap(pix.get());
    pixSetPadBits(pix.get(), 0);
    return pix;
}

QImage fromPix(PIX *pix, QImage::Format format)
{
    QImage image(pixGetWidth(pix), pixGetHeight(pix), format);
    if (image.isNull())
        return image;
    const int wpl = pixGetWpl(pix);
    l_uint32 *data = pixGetData(pix);
    if (format == QImage::Format_RGB32) {
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            const l_uint32 *in = data + qsizetype{y} * wpl;
            for (int x = 0; x < image.width(); ++x)
                line[x] = 0xff000000u | (in[x] >> 8);
        }
        return image;
    }
    pixEndianByteSwap(pix);
    const qsizetype bytes = std::min<qsizetype>(image.bytesPerLine(), qsizetype{wpl} * 4);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), data + qsizetype{y} * wpl, bytes);
    return image;
}

} // namespace

Deskewed deskew(const QImage &page)
{
    Deskewed unchanged{page, 0};
    if (page.isNull())
        return unchanged;

    // The library's own forms: 1 bit with 1 black, 8-bit grey, 32-bit colour.
    QImage work;
    int depth = 32;
    bool inverted = false;
    switch (page.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        work = page.convertToFormat(QImage::Format_Mono);
        depth = 1;
        inverted = !blackIsOne(work);
        break;
    case QImage::Format_Grayscale8:
        work = page;
        depth = 8;
        break;
    default:
        work = page.convertToFormat(QImage::Format_RGB32);
        break;
    }
    if (work.isNull())
        return unchanged;
    Pix pix = toPix(work, depth);
    if (!pix)
        return unchanged;
    if (inverted)
        pixInvert(pix.get(), pix.get());

    // The skew is found on a bilevel copy; the page itself is turned in its own depth.
    Pix bilevel(depth == 1 ? pixClone(pix.get()) : pixConvertTo1(pix.get(), 128));
    float angle = 0, confidence = 0;
    if (!bilevel || pixFindSkew(bilevel.get(), &angle, &confidence) != 0 || confidence < MinConfidence ||
        std::abs(angle) < MinAngle)
        return unchanged;
    bilevel.reset();

    // Shearing keeps a bilevel page sharp and bilevel; grey and colour are mixed by area.
    const Pix turned(pixRotate(pix.get(), float(angle * M_PI / 180.0),
                               depth == 1 ? L_ROTATE_SHEAR : L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
    if (!turned)
        return unchanged;
    if (inverted)
        pixInvert(turned.get(), turned.get());
    QImage straight = fromPix(turned.get(), work.format());
    if (straight.isNull())
        return unchanged;
    if (depth == 1)
        straight.setColorTable(work.colorTable());
    if (straight.format() != page.format())
        straight = straight.convertToFormat(page.format());
    straight.setDotsPerMeterX(page.dotsPerMeterX());
    straight.setDotsPerMeterY(page.dotsPerMeterY());
    return {straight, angle};
}

} // namespace zumen
