#include "scan/scan_page.h"

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
    QByteArray data(static_cast<qsizetype>(values.size() * 2), '\0');
    std::memcpy(data.data(), values.begin(), data.size()); // the machine's byte order, as delivered
    return data;
}

QImage page(const std::vector<ScanFrame> &frames, ScanMode mode, SANE_Status expected = SANE_STATUS_GOOD)
{
    QImage image;
    EXPECT_EQ(assemblePage(frames, mode, image), expected);
    return image;
}

} // namespace

TEST(AssemblePage, BilevelLinesKeepOneAsBlackInEveryMode)
{
    // 10 pixels a line, 2 bytes plus one byte of padding; the second line is the first inverted.
    const QByteArray bits("\xA0\x40\x00\x5F\x80\x00", 6);
    const std::vector<ScanFrame> frames{frame(SANE_FRAME_GRAY, 1, 10, 3, bits, 2)};

    const QImage mono = page(frames, ScanMode::Mono);
    ASSERT_EQ(mono.format(), QImage::Format_Mono);
    ASSERT_EQ(mono.size(), QSize(10, 2));
    const QImage gray = page(frames, ScanMode::Gray);
    ASSERT_EQ(gray.format(), QImage::Format_Grayscale8);
    const QImage colour = page(frames, ScanMode::Color);
    ASSERT_EQ(colour.format(), QImage::Format_RGB32);
    const bool blackInFirstLine[10] = {true, false, true, false, false, false, false, false, false, true};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool black = blackInFirstLine[x] != (y == 1);
            EXPECT_EQ(qGray(mono.pixel(x, y)), black ? 0 : 255) << x << "," << y;
            EXPECT_EQ(gray.constScanLine(y)[x], black ? 0 : 255) << x << "," << y;
            EXPECT_EQ(colour.pixel(x, y), black ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) << x << "," << y;
        }
    }
}

TEST(AssemblePage, DeepSamplesKeepTheirHighByteAndGreyBecomesBilevelAtTheMiddle)
{
    const QImage gray16 =
        page({frame(SANE_FRAME_GRAY, 16, 3, 6, samples16({0x0000, 0x7FFF, 0x80FF}), 1)}, ScanMode::Gray);
    ASSERT_EQ(gray16.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(gray16.constScanLine(0)[0], 0x00);
    EXPECT_EQ(gray16.constScanLine(0)[1], 0x7F);
    EXPECT_EQ(gray16.constScanLine(0)[2], 0x80);

    const QImage rgb16 =
        page({frame(SANE_FRAME_RGB, 16, 1, 6, samples16({0x1234, 0xABCD, 0xFF00}), 1)}, ScanMode::Color);
    EXPECT_EQ(rgb16.pixel(0, 0), qRgb(0x12, 0xAB, 0xFF));

    const QImage mono =
        page({frame(SANE_FRAME_GRAY, 8, 3, 3, QByteArray("\x7F\x80\x00", 3), 1)}, ScanMode::Mono);
    ASSERT_EQ(mono.format(), QImage::Format_Mono);
    EXPECT_EQ(qGray(mono.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(mono.pixel(1, 0)), 255);
    EXPECT_EQ(qGray(mono.pixel(2, 0)), 0);
}

TEST(AssemblePage, ThreePassesMakeOneColourPageInAnyOrder)
{
    // Blue first, then red, then green: the order a three-pass device may choose.
    const std::vector<ScanFrame> frames{frame(SANE_FRAME_BLUE, 8, 2, 2, QByteArray("\x30\x31", 2), 1),
                                        frame(SANE_FRAME_RED, 8, 2, 2, QByteArray("\x10\x11", 2), 1),
                                        frame(SANE_FRAME_GREEN, 8, 2, 2, QByteArray("\x20\x21", 2), 1)};
    const QImage colour = page(frames, ScanMode::Color);
    ASSERT_EQ(colour.size(), QSize(2, 1));
    EXPECT_EQ(colour.pixel(0, 0), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(colour.pixel(1, 0), qRgb(0x11, 0x21, 0x31));

    // A pass missing or sent twice is no page.
    page({frames[0], frames[1]}, ScanMode::Color, SANE_STATUS_UNSUPPORTED);
    page({frames[0], frames[1], frames[1]}, ScanMode::Color, SANE_STATUS_UNSUPPORTED);
}

TEST(AssemblePage, HeightComesFromTheCompleteLinesThatArrived)
{
    // Height unknown beforehand (a hand scanner): 2 complete lines and half of a third.
    const QImage hand = page({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(10, '\x40'))}, ScanMode::Gray);
    EXPECT_EQ(hand.size(), QSize(4, 2));
    // A device that stopped early gives what it sent; one that sent more is cut to its word.
    EXPECT_EQ(page({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(8, '\x40'), 5)}, ScanMode::Gray).height(), 2);
    EXPECT_EQ(page({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(16, '\x40'), 3)}, ScanMode::Gray).height(), 3);
    // Not one line is a failed scan, not an empty page.
    EXPECT_TRUE(
        page({frame(SANE_FRAME_GRAY, 8, 4, 4, QByteArray(3, '\x40'))}, ScanMode::Gray, SANE_STATUS_IO_ERROR)
            .isNull());
    page({}, ScanMode::Gray, SANE_STATUS_IO_ERROR);
}

TEST(AssemblePage, OddLayoutsAreRefusedNotRead)
{
    const QByteArray data(64, '\0');
    const struct {
        const char *what;
        ScanFrame frame;
    } odd[] = {
        {"RGB at one bit", frame(SANE_FRAME_RGB, 1, 8, 3, data)},
        {"four bits", frame(SANE_FRAME_GRAY, 4, 8, 4, data)},
        {"lines shorter than their pixels", frame(SANE_FRAME_RGB, 8, 8, 23, data)},
        {"no width", frame(SANE_FRAME_GRAY, 8, 0, 4, data)},
        {"unknown frame", frame(static_cast<SANE_Frame>(7), 8, 4, 4, data)},
    };
    for (const auto &[what, f] : odd) {
        const SANE_Parameters p{f.format, SANE_TRUE, f.bytesPerLine, f.pixelsPerLine, f.lines, f.depth};
        EXPECT_FALSE(frameReadable(p)) << what;
        QImage image;
        EXPECT_EQ(assemblePage({f}, ScanMode::Gray, image), SANE_STATUS_UNSUPPORTED) << what;
        EXPECT_TRUE(image.isNull()) << what;
    }
    // Padding at the end of each line is skipped.
    const QImage padded =
        page({frame(SANE_FRAME_RGB, 8, 1, 5, QByteArray("\x01\x02\x03\xEE\xEE\x04\x05\x06\xEE\xEE", 10), 2)},
             ScanMode::Color);
    EXPECT_EQ(padded.pixel(0, 1), qRgb(4, 5, 6));
}
