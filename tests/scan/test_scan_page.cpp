#include "imaging/blank_page.h"
#include "scan/scan_page.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>

using namespace zumen;

namespace {

ScanFrame frame(SANE_Frame format, int depth, int width, int bytesPerLine, const QByteArray &data,
                int lines = -1)
{
    return {format, depth, width, bytesPerLine, lines, data};
}

QByteArray samples16(std::initializer_list<quint16> values)
{
    QByteArray data(qsizetype(values.size() * 2), '\0');
    std::memcpy(data.data(), values.begin(), data.size()); // the machine's byte order, as delivered
    return data;
}

// The pixels of the page's first line, as grey (0 black) or, in colour, as RGB.
QList<QRgb> firstLine(const std::vector<ScanFrame> &frames, ScanMode mode, QSize size)
{
    QImage image;
    EXPECT_EQ(assemblePage(frames, mode, image), SANE_STATUS_GOOD);
    EXPECT_EQ(image.size(), size);
    QList<QRgb> line;
    for (int x = 0; x < image.width(); ++x)
        line << (mode == ScanMode::Color ? image.pixel(x, 0) & 0xFFFFFF : QRgb(qGray(image.pixel(x, 0))));
    return line;
}

} // namespace

// What the device sends becomes the page as it looks, in the format of the chosen mode.
TEST(AssemblePage, FramesBecomeThePageTheyShow)
{
    // 10 pixels a line, 2 bytes plus one of padding; 1 is black.
    const QByteArray bits("\xA0\x40\x00\x5F\x80\x00", 6);
    const QList<QRgb> line = {0, 255, 0, 255, 255, 255, 255, 255, 255, 0};
    const QList<QRgb> rgbLine = {0,        0xFFFFFF, 0,        0xFFFFFF, 0xFFFFFF,
                                 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0};
    EXPECT_EQ(firstLine({frame(SANE_FRAME_GRAY, 1, 10, 3, bits, 2)}, ScanMode::Mono, {10, 2}), line);
    EXPECT_EQ(firstLine({frame(SANE_FRAME_GRAY, 1, 10, 3, bits, 2)}, ScanMode::Gray, {10, 2}), line);
    EXPECT_EQ(firstLine({frame(SANE_FRAME_GRAY, 1, 10, 3, bits, 2)}, ScanMode::Color, {10, 2}), rgbLine);
    // Deep samples keep their high byte; grey becomes bilevel at the middle.
    EXPECT_EQ(firstLine({frame(SANE_FRAME_GRAY, 16, 3, 6, samples16({0, 0x7FFF, 0x80FF}), 1)}, ScanMode::Gray,
                        {3, 1}),
              (QList<QRgb>{0, 0x7F, 0x80}));
    EXPECT_EQ(firstLine({frame(SANE_FRAME_RGB, 16, 1, 6, samples16({0x1234, 0xABCD, 0xFF00}), 1)},
                        ScanMode::Color, {1, 1}),
              QList<QRgb>{0x12ABFF});
    EXPECT_EQ(firstLine({frame(SANE_FRAME_GRAY, 8, 3, 3, QByteArray("\x7F\x80\x00", 3), 1)}, ScanMode::Mono,
                        {3, 1}),
              (QList<QRgb>{0, 255, 0}));
    // Padding at the end of each line is skipped.
    EXPECT_EQ(firstLine({frame(SANE_FRAME_RGB, 8, 1, 5,
                               QByteArray("\x01\x02\x03\xEE\xEE\x04\x05\x06\xEE\xEE", 10), 2)},
                        ScanMode::Color, {1, 2}),
              QList<QRgb>{0x010203});
    // Three passes in the order the device chooses.
    const std::vector<ScanFrame> passes{frame(SANE_FRAME_BLUE, 8, 2, 2, QByteArray("\x30\x31", 2), 1),
                                        frame(SANE_FRAME_RED, 8, 2, 2, QByteArray("\x10\x11", 2), 1),
                                        frame(SANE_FRAME_GREEN, 8, 2, 2, QByteArray("\x20\x21", 2), 1)};
    EXPECT_EQ(firstLine(passes, ScanMode::Color, {2, 1}), (QList<QRgb>{0x102030, 0x112131}));
    // Height unknown (a hand scanner): the complete lines that came; a device that stopped
    // early gives what it sent, one that sent more is cut to its word.
    firstLine({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(10, '\x40'))}, ScanMode::Gray, {4, 2});
    firstLine({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(8, '\x40'), 5)}, ScanMode::Gray, {4, 2});
    firstLine({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(16, '\x40'), 3)}, ScanMode::Gray, {4, 3});
}

// Layouts we cannot read, and pages that never came, fail the scan without reading anything.
TEST(AssemblePage, OddLayoutsAndMissingDataAreRefused)
{
    const QByteArray data(64, '\0');
    const ScanFrame blue = frame(SANE_FRAME_BLUE, 8, 2, 2, data, 1),
                    red = frame(SANE_FRAME_RED, 8, 2, 2, data, 1);
    const struct {
        const char *what;
        std::vector<ScanFrame> frames;
        SANE_Status status;
    } odd[] = {
        {"RGB at one bit", {frame(SANE_FRAME_RGB, 1, 8, 3, data)}, SANE_STATUS_UNSUPPORTED},
        {"four bits", {frame(SANE_FRAME_GRAY, 4, 8, 4, data)}, SANE_STATUS_UNSUPPORTED},
        {"lines shorter than their pixels", {frame(SANE_FRAME_RGB, 8, 8, 23, data)}, SANE_STATUS_UNSUPPORTED},
        {"no width", {frame(SANE_FRAME_GRAY, 8, 0, 4, data)}, SANE_STATUS_UNSUPPORTED},
        {"unknown frame", {frame(static_cast<SANE_Frame>(7), 8, 4, 4, data)}, SANE_STATUS_UNSUPPORTED},
        {"a pass missing", {blue, red}, SANE_STATUS_UNSUPPORTED},
        {"a pass twice", {blue, red, red}, SANE_STATUS_UNSUPPORTED},
        {"not one line", {frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(3, '\x40'))}, SANE_STATUS_IO_ERROR},
        {"nothing", {}, SANE_STATUS_IO_ERROR},
    };
    for (const auto &[what, frames, status] : odd) {
        if (frames.size() == 1) {
            const ScanFrame &f = frames[0];
            const SANE_Parameters p{f.format, SANE_TRUE, f.bytesPerLine, f.pixelsPerLine, f.lines, f.depth};
            EXPECT_EQ(frameReadable(p), status != SANE_STATUS_UNSUPPORTED) << what;
        }
        QImage image;
        EXPECT_EQ(assemblePage(frames, frames.size() > 1 ? ScanMode::Color : ScanMode::Gray, image), status)
            << what;
        EXPECT_TRUE(image.isNull()) << what;
    }
}

// A sheet with specks and the feeder's shadow along its edges is blank; a thin drawing frame is
// not, in bilevel and in grey alike.
TEST(BlankPage, SpecksAndEdgesAreBlankAThinDrawingIsNot)
{
    QImage sheet(1000, 1400, QImage::Format_Grayscale8);
    sheet.fill(Qt::white);
    QPainter paint(&sheet);
    paint.fillRect(0, 0, 1000, 40, Qt::black); // the shadow, inside the 5 % border
    paint.fillRect(0, 0, 30, 1400, Qt::black);
    for (int i = 0; i < 60; ++i)
        paint.fillRect(100 + i * 13, 200 + i * 17, 3, 3, Qt::black); // 540 dark pixels of 1.1 M
    paint.end();
    QImage drawing = sheet.copy();
    paint.begin(&drawing);
    paint.setPen(QPen(Qt::black, 2));
    paint.drawRect(150, 150, 700, 1100); // 7 200 dark pixels: 0.6 %
    paint.end();

    for (const QImage::Format format :
         {QImage::Format_Mono, QImage::Format_Grayscale8, QImage::Format_RGB32}) {
        SCOPED_TRACE(format);
        EXPECT_TRUE(isBlankPage(sheet.convertToFormat(format)));
        EXPECT_FALSE(isBlankPage(drawing.convertToFormat(format)));
    }
    // Bilevel with 0 for black (as another reader may give it) counts the same.
    QImage inverted = drawing.convertToFormat(QImage::Format_Mono);
    inverted.invertPixels();
    inverted.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    EXPECT_FALSE(isBlankPage(inverted));
}
