#include "scan/scan_page.h"

#include <algorithm>
#include <cstring>

namespace zumen {

namespace {

bool singleColour(SANE_Frame format)
{
    return format == SANE_FRAME_RED || format == SANE_FRAME_GREEN || format == SANE_FRAME_BLUE;
}

int channels(SANE_Frame format)
{
    return format == SANE_FRAME_RGB ? 3 : 1;
}

bool layoutReadable(SANE_Frame format, int depth, int pixelsPerLine, int bytesPerLine)
{
    if (format != SANE_FRAME_GRAY && format != SANE_FRAME_RGB && !singleColour(format))
        return false;
    if (!(depth == 8 || depth == 16 || (depth == 1 && format == SANE_FRAME_GRAY)))
        return false;
    if (pixelsPerLine <= 0 || bytesPerLine <= 0)
        return false;
    const qint64 needed = (qint64{pixelsPerLine} * channels(format) * depth + 7) / 8;
    return bytesPerLine >= needed;
}

// Complete lines only: a scan that stopped early still gives the part that arrived.
int completeLines(const ScanFrame &frame)
{
    const qint64 lines = frame.data.size() / frame.bytesPerLine;
    return static_cast<int>(frame.lines >= 0 ? std::min<qint64>(lines, frame.lines) : lines);
}

// Sample i of a line as 8 bits; 16-bit samples keep their high byte.
uchar sample(const uchar *line, int i, int depth)
{
    if (depth == 8)
        return line[i];
    quint16 value;
    std::memcpy(&value, line + 2 * i, sizeof value);
    return static_cast<uchar>(value >> 8);
}

QImage monoFromBits(const ScanFrame &frame, int height)
{
    // The library's bilevel lines already are 1 for black, most significant bit first.
    QImage image(frame.pixelsPerLine, height, QImage::Format_Mono);
    if (image.isNull())
        return image;
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const int bytes = (frame.pixelsPerLine + 7) / 8;
    const auto *data = reinterpret_cast<const uchar *>(frame.data.constData());
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), data + qint64{y} * frame.bytesPerLine, bytes);
    return image;
}

QImage grayFromSamples(const ScanFrame &frame, int height)
{
    QImage image(frame.pixelsPerLine, height, QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    const auto *data = reinterpret_cast<const uchar *>(frame.data.constData());
    for (int y = 0; y < height; ++y) {
        const uchar *line = data + qint64{y} * frame.bytesPerLine;
        uchar *out = image.scanLine(y);
        for (int x = 0; x < frame.pixelsPerLine; ++x)
            out[x] = sample(line, x, frame.depth);
    }
    return image;
}

QImage colourFromSamples(const ScanFrame &frame, int height)
{
    QImage image(frame.pixelsPerLine, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const auto *data = reinterpret_cast<const uchar *>(frame.data.constData());
    for (int y = 0; y < height; ++y) {
        const uchar *line = data + qint64{y} * frame.bytesPerLine;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < frame.pixelsPerLine; ++x)
            out[x] = qRgb(sample(line, 3 * x, frame.depth), sample(line, 3 * x + 1, frame.depth),
                          sample(line, 3 * x + 2, frame.depth));
    }
    return image;
}

// A three-pass scan: one frame per colour, in whatever order the device chose.
SANE_Status colourFromPasses(const std::vector<ScanFrame> &frames, QImage &image)
{
    const ScanFrame *pass[3] = {};
    for (const ScanFrame &frame : frames) {
        const int i = frame.format == SANE_FRAME_RED ? 0 : frame.format == SANE_FRAME_GREEN ? 1 : 2;
        if (!singleColour(frame.format) || pass[i] || frame.pixelsPerLine != frames.front().pixelsPerLine)
            return SANE_STATUS_UNSUPPORTED;
        pass[i] = &frame;
    }
    if (!pass[0] || !pass[1] || !pass[2])
        return SANE_STATUS_UNSUPPORTED;
    const int height = std::min({completeLines(*pass[0]), completeLines(*pass[1]), completeLines(*pass[2])});
    if (height == 0)
        return SANE_STATUS_IO_ERROR;
    image = QImage(pass[0]->pixelsPerLine, height, QImage::Format_RGB32);
    if (image.isNull())
        return SANE_STATUS_NO_MEM;
    for (int y = 0; y < height; ++y) {
        const uchar *line[3];
        for (int c = 0; c < 3; ++c)
            line[c] = reinterpret_cast<const uchar *>(pass[c]->data.constData()) +
                      qint64{y} * pass[c]->bytesPerLine;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            out[x] = qRgb(sample(line[0], x, pass[0]->depth), sample(line[1], x, pass[1]->depth),
                          sample(line[2], x, pass[2]->depth));
    }
    return SANE_STATUS_GOOD;
}

// Grey values below the middle become black.
QImage thresholded(const QImage &gray)
{
    QImage mono(gray.size(), QImage::Format_Mono);
    if (mono.isNull())
        return mono;
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *in = gray.constScanLine(y);
        uchar *out = mono.scanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (in[x] < 128)
                out[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
        }
    }
    return mono;
}

QImage converted(const QImage &image, ScanMode mode)
{
    switch (mode) {
    case ScanMode::Mono:
        if (image.format() == QImage::Format_Mono)
            return image;
        return thresholded(image.format() == QImage::Format_Grayscale8
                               ? image
                               : image.convertToFormat(QImage::Format_Grayscale8));
    case ScanMode::Gray:
        return image.convertToFormat(QImage::Format_Grayscale8);
    case ScanMode::Color:
        return image.convertToFormat(QImage::Format_RGB32);
    }
    return {};
}

} // namespace

bool frameReadable(const SANE_Parameters &parameters)
{
    return layoutReadable(parameters.format, parameters.depth, parameters.pixels_per_line,
                          parameters.bytes_per_line);
}

SANE_Status assemblePage(const std::vector<ScanFrame> &frames, ScanMode mode, QImage &page)
{
    page = QImage();
    if (frames.empty())
        return SANE_STATUS_IO_ERROR;
    for (const ScanFrame &frame : frames) {
        if (!layoutReadable(frame.format, frame.depth, frame.pixelsPerLine, frame.bytesPerLine))
            return SANE_STATUS_UNSUPPORTED;
    }
    QImage image;
    const ScanFrame &first = frames.front();
    if (singleColour(first.format)) {
        const SANE_Status status = colourFromPasses(frames, image);
        if (status != SANE_STATUS_GOOD)
            return status;
    } else {
        if (frames.size() != 1)
            return SANE_STATUS_UNSUPPORTED;
        const int height = completeLines(first);
        if (height == 0)
            return SANE_STATUS_IO_ERROR;
        if (first.format == SANE_FRAME_RGB)
            image = colourFromSamples(first, height);
        else if (first.depth == 1)
            image = monoFromBits(first, height);
        else
            image = grayFromSamples(first, height);
        if (image.isNull())
            return SANE_STATUS_NO_MEM;
    }
    page = converted(image, mode);
    return page.isNull() ? SANE_STATUS_NO_MEM : SANE_STATUS_GOOD;
}

} // namespace zumen
