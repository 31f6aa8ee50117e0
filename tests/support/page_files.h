#pragma once

// Test pages made on the spot, and the files written from them.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <functional>

// A bilevel drawing (odd size, so rows do not end on a byte) with a few pixels placed where a
// wrong turn or mirror would show: 0 = white, 1 = black.
QImage testDrawing(QSize size = QSize(203, 141));
// The same page as greyscale, with a grey wedge so that averaging has something to average.
QImage testGreyDrawing(QSize size = QSize(203, 141));

// A TIFF of several pages as other programs write them: a Mono page in Group 4, a grey page
// in the compression given with it (LZW when 0), each with its resolution and page number.
struct TiffPageSpec {
    QImage image;
    int dpi = 200;
    int compression = 0;
};
void writeTiffPages(const QString &path, const QList<TiffPageSpec> &pages);

QByteArray fileBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);

// The number of the NumberedError that call throws, or 0 when it throws none.
int errorNumber(const std::function<void()> &call);
