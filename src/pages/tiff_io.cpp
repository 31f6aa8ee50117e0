#include "pages/tiff_io.h"

#include <QFile>
#include <QFileInfo>

#include <tiffio.h>

#include <cstdio>
#include <vector>

namespace zumen {

bool writeBilevelTiff(const QImage &image, const QString &path, int dpi, QString *error)
{
    auto failWith = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (image.isNull())
        return failWith(QStringLiteral("画像がありません。"));
    const QImage mono = image.format() == QImage::Format_Mono
                            ? image
                            : image.convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::ThresholdDither);
    // Group 4 readers expect 1 = black (min-is-white); Qt's colour table may say otherwise.
    const bool zeroIsBlack = mono.colorCount() > 0 && qGray(mono.color(0)) < 128;

    const QString temp = path + QStringLiteral(".part");
    TIFF *tif = TIFFOpen(QFile::encodeName(temp).constData(), "w");
    if (!tif)
        return failWith(QStringLiteral("'%1' に書き込めません。").arg(path));
    const auto width = static_cast<uint32_t>(mono.width());
    const auto height = static_cast<uint32_t>(mono.height());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(dpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(dpi));

    const auto bytes = static_cast<std::size_t>((width + 7) / 8);
    std::vector<unsigned char> line(bytes);
    bool ok = true;
    for (uint32_t y = 0; y < height && ok; ++y) {
        const uchar *src = mono.constScanLine(static_cast<int>(y));
        for (std::size_t i = 0; i < bytes; ++i)
            line[i] = zeroIsBlack ? static_cast<unsigned char>(~src[i]) : src[i];
        ok = TIFFWriteScanline(tif, line.data(), y, 0) >= 0;
    }
    ok = ok && TIFFFlush(tif) != 0;
    TIFFClose(tif);
    if (!ok) {
        QFile::remove(temp);
        return failWith(QStringLiteral("'%1' の書き込みに失敗しました。").arg(path));
    }
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temp);
        return failWith(QStringLiteral("'%1' を置けません。").arg(path));
    }
    return true;
}

} // namespace zumen
