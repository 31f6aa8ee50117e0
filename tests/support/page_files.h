#pragma once

// Test pages made on the spot, and what libtiff says about the files written from them.

#include "imaging/page_error.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <functional>

// A bilevel drawing (odd size, so rows do not end on a byte) with a few pixels placed where a
// wrong turn or mirror would show: 0 = white, 1 = black.
QImage testDrawing(QSize size = QSize(203, 141));
// The same page as greyscale, with a grey wedge so that averaging has something to average.
QImage testGreyDrawing(QSize size = QSize(203, 141));

// Every pixel as 0 (black) or 255 (white) in Grayscale8, whatever the format.
QImage greyOf(const QImage &image);
// The reference quarter turn, by Qt.
QImage turnedRight(const QImage &image);

struct TiffTags {
    bool opened = false;
    int pages = 0; // in the whole file
    int width = 0, height = 0, bits = 0, samples = 0, compression = 0, photometric = -1;
    float xres = 0, yres = 0;
    QByteArray stored; // the page's strips as stored, still compressed
    bool decodes = false;
};
TiffTags tiffTags(const QString &path, int page = 0);

// A TIFF of several pages as other programs write them: a Mono page in Group 4, a grey page
// in the compression given with it (LZW when 0), each with its resolution and page number.
struct TiffPageSpec {
    QImage image;
    int dpi = 200;
    int compression = 0;
};
void writeTiffPages(const QString &path, const QList<TiffPageSpec> &pages);

// A small real JPEG whose header claims size: the picture data of a few bytes, then its end.
QByteArray jpegClaiming(QSize size);
// A bilevel TIFF of one tiny strip whose header claims size.
QByteArray tiffClaiming(QSize size);

QByteArray fileBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);

// The number of the NumberedError that call throws, or 0 when it throws none.
int errorNumber(const std::function<void()> &call);
