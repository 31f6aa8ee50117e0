#include "support/page_files.h"

#include "imaging/page_error.h"
#include "tools/sample_drawing.h"

#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

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
        const QImage rows = mono ? image : image.convertToFormat(QImage::Format_Grayscale8);
        std::vector<uchar> line(static_cast<std::size_t>(rows.bytesPerLine()));
        for (int y = 0; y < rows.height(); ++y) {
            std::memcpy(line.data(), rows.constScanLine(y), line.size());
            TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(y), 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
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
