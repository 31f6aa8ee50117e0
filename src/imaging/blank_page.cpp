#include "imaging/blank_page.h"

#include <QImage>

#include <bit>

namespace zumen {

namespace {

constexpr double BorderShare = 0.05;
constexpr double DarkShare = 0.003;
constexpr int DarkLevel = 64;

// The 1-bit pixels set in [from, to) of a Format_Mono line (most significant bit first).
int bitsSet(const uchar *line, int from, int to)
{
    int count = 0;
    int x = from;
    for (; x < to && (x & 7); ++x)
        count += (line[x >> 3] >> (7 - (x & 7))) & 1;
    for (; x + 8 <= to; x += 8)
        count += std::popcount(static_cast<unsigned>(line[x >> 3]));
    for (; x < to; ++x)
        count += (line[x >> 3] >> (7 - (x & 7))) & 1;
    return count;
}

} // namespace

bool isBlankPage(const QImage &page)
{
    if (page.isNull())
        return true;
    const int left = int(page.width() * BorderShare), top = int(page.height() * BorderShare);
    const int right = page.width() - left, bottom = page.height() - top;
    const qint64 limit = qint64(double(right - left) * (bottom - top) * DarkShare);
    qint64 dark = 0;
    if (page.format() == QImage::Format_Mono || page.format() == QImage::Format_MonoLSB) {
        // Which bit value is dark depends on the colour table; the scanner's pages have 1 black.
        const QImage mono =
            page.format() == QImage::Format_Mono ? page : page.convertToFormat(QImage::Format_Mono);
        const bool oneIsDark = mono.colorCount() < 2 || qGray(mono.color(1)) < qGray(mono.color(0));
        const int width = right - left;
        for (int y = top; y < bottom && dark <= limit; ++y) {
            const int set = bitsSet(mono.constScanLine(y), left, right);
            dark += oneIsDark ? set : width - set;
        }
        return dark <= limit;
    }
    const QImage gray =
        page.format() == QImage::Format_Grayscale8 ? page : page.convertToFormat(QImage::Format_Grayscale8);
    for (int y = top; y < bottom && dark <= limit; ++y) {
        const uchar *line = gray.constScanLine(y);
        for (int x = left; x < right; ++x)
            dark += line[x] < DarkLevel;
    }
    return dark <= limit;
}

} // namespace zumen
