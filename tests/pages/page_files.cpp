#include "page_files.h"

#include "pages/sample_drawing.h"

#include <QPainter>

#include <tiffio.h>

using zumen::sampleDrawing;

QImage testDrawing(QSize size)
{
    // Tiny pages get a plain sheet; the sample drawing needs room for its title block.
    QImage grey(size, QImage::Format_Grayscale8);
    grey.fill(Qt::white);
    if (size.width() >= 120 && size.height() >= 120)
        grey = sampleDrawing(QStringLiteral("A-123"), QStringLiteral("試験"), 7, size);
    QPainter p(&grey);
    p.drawLine(0, size.height() / 3, size.width() - 1, size.height() - 1);
    p.fillRect(0, 0, 1, 1, Qt::black);                 // top left
    p.fillRect(size.width() - 3, 1, 2, 1, Qt::black);  // two pixels near the top right
    p.fillRect(1, size.height() - 4, 1, 3, Qt::black); // three down near the bottom left
    p.fillRect(size.width() / 2, size.height() / 2, 1, 1, Qt::white);
    p.end();
    QImage mono = grey.convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::ThresholdDither);
    if (qGray(mono.color(0)) < 128) {
        mono.invertPixels();
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    }
    return mono;
}

QImage testGreyDrawing(QSize size)
{
    QImage grey = sampleDrawing(QStringLiteral("B-7"), QStringLiteral("灰"), 3, size);
    for (int y = 0; y < size.height() / 4; ++y)
        for (int x = 0; x < size.width() / 3; ++x)
            grey.scanLine(y)[x] = static_cast<uchar>(x * 255 / std::max(1, size.width() / 3));
    return grey;
}

QImage greyOf(const QImage &image)
{
    return image.convertToFormat(QImage::Format_Grayscale8);
}

QImage turnedRight(const QImage &image)
{
    return greyOf(image).transformed(QTransform().rotate(90));
}

TiffTags tiffTags(const QString &path)
{
    TiffTags tags;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return tags;
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, samples = 0, compression = 0, photometric = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        tags.photometric = photometric;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &tags.xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &tags.yres);
    TIFFClose(tif);
    tags.opened = true;
    tags.width = static_cast<int>(w);
    tags.height = static_cast<int>(h);
    tags.bits = bits;
    tags.samples = samples;
    tags.compression = compression;
    return tags;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

int errorNumber(const std::function<void()> &call)
{
    try {
        call();
    } catch (const zumen::NumberedError &e) {
        return e.number();
    }
    return 0;
}
