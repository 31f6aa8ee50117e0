#include "support/page_files.h"

#include "tools/sample_drawing.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <tiffio.h>

#include <cstring>
#include <vector>

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

TiffTags tiffTags(const QString &path, int page)
{
    TiffTags tags;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return tags;
    tags.pages = TIFFNumberOfDirectories(tif);
    if (!TIFFSetDirectory(tif, static_cast<tdir_t>(page))) {
        TIFFClose(tif);
        return tags;
    }
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
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        QByteArray strip(static_cast<qsizetype>(TIFFGetStrileByteCount(tif, s)), '\0');
        TIFFReadRawStrip(tif, s, strip.data(), strip.size());
        tags.stored += strip;
    }
    std::vector<uint32_t> rgba(static_cast<std::size_t>(w) * h);
    tags.decodes = TIFFReadRGBAImage(tif, w, h, rgba.data(), 1) == 1;
    TIFFClose(tif);
    tags.opened = true;
    tags.width = static_cast<int>(w);
    tags.height = static_cast<int>(h);
    tags.bits = bits;
    tags.samples = samples;
    tags.compression = compression;
    return tags;
}

void writeTiffPages(const QString &path, const QList<TiffPageSpec> &pages)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_TRUE(tif);
    for (int i = 0; i < pages.size(); ++i) {
        const QImage &image = pages[i].image;
        const bool mono = image.depth() == 1;
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, i, static_cast<int>(pages.size()));
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width());
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height());
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, mono ? 1 : 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_COMPRESSION,
                     mono                   ? COMPRESSION_CCITTFAX4
                     : pages[i].compression ? pages[i].compression
                                            : COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, mono ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, mono ? image.height() : 16);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(pages[i].dpi));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(pages[i].dpi));
        const QImage rows = mono ? image : greyOf(image);
        std::vector<uchar> line(static_cast<std::size_t>(rows.bytesPerLine()));
        for (int y = 0; y < rows.height(); ++y) {
            std::memcpy(line.data(), rows.constScanLine(y), line.size());
            TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(y), 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

QByteArray jpegClaiming(QSize size)
{
    QImage small(16, 16, QImage::Format_Grayscale8);
    small.fill(128);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    small.save(&buffer, "jpeg");
    QByteArray jpeg = buffer.data();
    const qsizetype frame = jpeg.indexOf(QByteArrayLiteral("\xFF\xC0"));
    if (frame < 0)
        return {};
    qToBigEndian<quint16>(static_cast<quint16>(size.height()), jpeg.data() + frame + 5);
    qToBigEndian<quint16>(static_cast<quint16>(size.width()), jpeg.data() + frame + 7);
    return jpeg;
}

QByteArray tiffClaiming(QSize size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("claims.tif"));
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, size.width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, size.height());
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, size.height());
    TIFFWriteRawStrip(tif, 0, const_cast<char *>("\0\0\0\0"), 4);
    TIFFClose(tif);
    return fileBytes(path);
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
