#include "imaging/page_image.h"

#include "imaging/page_error.h"
#include "imaging/tiff_io.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QtEndian>

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

namespace zumen {
namespace {

NumberedError notFound(const QString &path)
{
    return NumberedError(PageErr::Missing, QStringLiteral("ファイルが見つかりません。(%1)").arg(path));
}

NumberedError invalidFormat(const QString &path)
{
    return NumberedError(PageErr::Undecodable, QStringLiteral("ファイル形式が無効です。(%1)").arg(path));
}

NumberedError outOfMemory()
{
    return NumberedError(PageErr::NoMemory, QStringLiteral("メモリが不足しています。"));
}

NumberedError cannotWrite(const QString &message)
{
    return NumberedError(PageErr::Unreadable, message);
}

bool isTiffHeader(const QByteArray &head)
{
    return head.startsWith(QByteArrayLiteral("II*\0")) || head.startsWith(QByteArrayLiteral("MM\0*")) ||
           head.startsWith(QByteArrayLiteral("II+\0")) || head.startsWith(QByteArrayLiteral("MM\0+"));
}

// The start-of-frame marker of a JPEG, which says how its data is coded; 0 when none is found
// among the first segments.
int jpegFrameMarker(QFile &file)
{
    qint64 at = 2; // past the start-of-image marker
    for (int segment = 0; segment < 64 && file.seek(at); ++segment) {
        const QByteArray m = file.read(4);
        if (m.size() < 4 || static_cast<uchar>(m[0]) != 0xFF)
            return 0;
        const auto marker = static_cast<uchar>(m[1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker;
        at += 2 + qFromBigEndian<quint16>(m.constData() + 2);
    }
    return 0;
}

// Qt's JPEG and BMP readers hand back whatever rows a cut-off file still holds, and call it a
// success. A page that ends early is damaged, not half a drawing. Looked at before decoding,
// so that a few bytes claiming a huge page cost no memory.
bool endsWhereItShould(QFile &file, const QByteArray &format, QSize declared)
{
    const qint64 size = file.size();
    if (format == "jpeg") {
        // Huffman coding spends at least a bit on every 8 x 8 block, so a file much smaller
        // than that is a header without its picture, however properly it ends. Arithmetic
        // coding (frame markers C9 to CF) can do with less.
        const int frame = jpegFrameMarker(file);
        if (frame != 0 && frame < 0xC9 && declared.isValid() &&
            size < (qint64(declared.width() + 7) / 8) * ((declared.height() + 7) / 8) / 8)
            return false;
        // Entropy-coded data never holds FF D9, so the end marker near the end means the scan is whole.
        const qint64 tail = std::min<qint64>(size, 4096);
        return file.seek(size - tail) && file.read(tail).contains(QByteArrayLiteral("\xFF\xD9"));
    }
    if (format == "bmp") {
        if (!file.seek(0))
            return false;
        const QByteArray h = file.read(34);
        if (h.size() < 34)
            return false;
        const auto offset = qFromLittleEndian<quint32>(h.constData() + 10);
        const auto headerSize = qFromLittleEndian<quint32>(h.constData() + 14);
        if (headerSize < 40)
            return true; // the old OS/2 header; Qt checks those itself
        const auto width = static_cast<qint64>(qFromLittleEndian<qint32>(h.constData() + 18));
        const auto height = std::abs(static_cast<qint64>(qFromLittleEndian<qint32>(h.constData() + 22)));
        const auto bits = static_cast<qint64>(qFromLittleEndian<quint16>(h.constData() + 28));
        const auto compression = qFromLittleEndian<quint32>(h.constData() + 30);
        if (compression != 0 && compression != 3)
            return true; // run-length rows have no fixed size
        return size >= offset + (width * bits + 31) / 32 * 4 * height;
    }
    return true;
}

// Pages are kept in three forms only: bilevel Mono (0 white, 1 black), Grayscale8 and RGB32.
// The decoded image is taken over and converted in place where the form allows, so that a
// large page is not held twice while loading.
QImage normalised(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
        QImage out = std::move(image).convertToFormat(QImage::Format_Mono);
        const QRgb zero = out.colorCount() > 0 ? out.color(0) : qRgb(255, 255, 255);
        const QRgb one = out.colorCount() > 1 ? out.color(1) : qRgb(0, 0, 0);
        if (qGray(zero) < qGray(one))
            out.invertPixels();
        out.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        return out;
    }
    case QImage::Format_Grayscale8:
        return image;
    case QImage::Format_Indexed8:
        if (image.allGray()) {
            uchar grey[256] = {};
            for (int i = 0; i < image.colorCount() && i < 256; ++i)
                grey[i] = static_cast<uchar>(qGray(image.color(i)));
            for (int y = 0; y < image.height(); ++y) {
                uchar *row = image.scanLine(y);
                for (int x = 0; x < image.width(); ++x)
                    row[x] = grey[row[x]];
            }
            image.setColorTable({});
            image.reinterpretAsFormat(QImage::Format_Grayscale8);
            return image;
        }
        return std::move(image).convertToFormat(QImage::Format_RGB32);
    case QImage::Format_Grayscale16:
        return std::move(image).convertToFormat(QImage::Format_Grayscale8);
    default:
        break;
    }
    if (!image.hasAlphaChannel())
        return std::move(image).convertToFormat(QImage::Format_RGB32);
    // Drawings are paper: transparency is shown, and kept, as white.
    QImage out = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return out;
    for (int y = 0; y < out.height(); ++y) {
        auto *px = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int white = 255 - qAlpha(px[x]);
            px[x] = qRgb(qRed(px[x]) + white, qGreen(px[x]) + white, qBlue(px[x]) + white);
        }
    }
    out.reinterpretAsFormat(QImage::Format_RGB32);
    return out;
}

// Qt's JPEG reader has libjpeg decode at k/8 of the size (k = 1..8), k found from the size
// asked for, and re-scales whatever that gives to the size asked. The size asked for here is
// the largest that still leads Qt to the least k that gives the pixels wanted, so at most a
// pixel is left to re-scale; the quality below 50 has that done by repeating pixels and the
// decoding with the fast transform, both good enough for a page reduced again for the screen.
void decodeReduced(QImageReader &reader, QSize declared, Scale wanted)
{
    if (wanted.num <= 0 || wanted.den <= 0 || declared.width() < 64 || declared.height() < 64)
        return;
    const qint64 eighths = (8 * wanted.num + wanted.den - 1) / wanted.den;
    if (eighths >= 8)
        return;
    const int k = static_cast<int>(std::max<qint64>(1, eighths));
    // As Qt works k out, in the same arithmetic, so that rounding cannot lead it to k + 1.
    const auto qtEighths = [&](QSize asked) {
        const double f =
            std::min(double(declared.width()) / asked.width(), double(declared.height()) / asked.height());
        return std::clamp(static_cast<int>(std::ceil(8 / f)), 1, 8);
    };
    QSize asked(declared.width() * k / 8, declared.height() * k / 8);
    while (qtEighths(asked) > k && asked.width() > 1 && asked.height() > 1)
        asked -= QSize(1, 1);
    if (qtEighths(asked) != k)
        return;
    reader.setScaledSize(asked);
    reader.setQuality(49);
}

// Qt's own limit (128 MB) is below a colour A1 scan; ours admits the largest page in colour,
// and still stops a reader whose header says more than size() did. Raised once for the whole
// process, and never put back: pages are decoded off the GUI thread, and a limit switched to
// and fro there would race with every image read elsewhere.
} // namespace

void PageImage::admitLargePages()
{
    static const bool raised = [] {
        const int limit = static_cast<int>(MaxPagePixels * 4 / (1024 * 1024) + 1);
        if (QImageReader::allocationLimit() < limit)
            QImageReader::setAllocationLimit(limit);
        return true;
    }();
    Q_UNUSED(raised);
}

namespace {

// The page's own size goes to whole when it was decoded reduced.
QImage readWithQt(const QString &path, QByteArray *format, const PageImage::DrawnAt &drawnAt = {},
                  QSize *whole = nullptr)
{
    PageImage::admitLargePages();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    *format = reader.format();
    if (format->isEmpty())
        throw invalidFormat(path);
    // The size from the header, before a pixel is allocated: nothing, or more than any sheet,
    // is a damaged file.
    const QSize declared = reader.size();
    if (declared.isValid() &&
        (declared.isEmpty() || qint64(declared.width()) * declared.height() > MaxPagePixels))
        throw invalidFormat(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !endsWhereItShould(file, *format, declared))
        throw invalidFormat(path);
    file.close();
    if (drawnAt && *format == "jpeg" && declared.isValid())
        decodeReduced(reader, declared, drawnAt(declared));
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw invalidFormat(path);
    if (whole && declared.isValid() && image.size() != declared)
        *whole = declared;
    return image;
}

int dpiOf(int dotsPerMeter)
{
    return dotsPerMeter > 0 ? static_cast<int>(std::lround(dotsPerMeter * 0.0254)) : 0;
}

// Edges of the source boxes behind output columns (or rows) from..from+count when reducing:
// box i covers [edges[i], edges[i + 1]).
std::vector<int> boxEdges(int from, int count, Scale scale, int limit)
{
    std::vector<int> edges(static_cast<std::size_t>(count) + 1);
    for (int i = 0; i <= count; ++i)
        edges[i] = static_cast<int>(std::min<qint64>(limit, qint64(from + i) * scale.den / scale.num));
    return edges;
}

// Source pixel behind each output column (or row) when enlarging.
std::vector<int> nearest(int from, int count, Scale scale)
{
    std::vector<int> index(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        index[i] = static_cast<int>(qint64(from + i) * scale.den / scale.num);
    return index;
}

// The reduction below spends its time counting bits: built twice where the processor may have
// an instruction for that, and the one it has chosen when the program loads. Not under the
// sanitizers, whose start-up comes after that choice.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) &&     \
    !defined(__SANITIZE_THREAD__)
#define COUNTS_BITS __attribute__((target_clones("popcnt", "default")))
#else
#define COUNTS_BITS
#endif

// Reduced, every output pixel is the share of black in its box, so a line one pixel wide
// still shows as grey at 25 %. The rows of a box are first added up pixel by pixel in
// bit-sliced form (plane p holds bit p of each pixel's count, 32 pixels a word, white words
// skipped), then each column counts its box in every plane, 64 bits at a time.
// Output rows fromRow..toRow go to out, reached through bits: scanLine() on two threads would
// race on the image's bookkeeping.
COUNTS_BITS void bilevelReducedRows(const QImage &page, const QRect &area, Scale scale, uchar *out,
                                    qsizetype outStride, int fromRow, int toRow)
{
    const std::vector<int> xs = boxEdges(area.x(), area.width(), scale, page.width());
    const std::vector<int> ys = boxEdges(area.y(), area.height(), scale, page.height());
    // Only the bytes of the rows under the columns are added up, eight at a time; rows are
    // whole 32-bit words, the last eight may be fewer.
    const int firstByte = (xs.front() >> 5) * 4;
    const int bytes = ((xs.back() - 1) >> 5) * 4 + 4 - firstByte;
    const auto words = static_cast<std::size_t>((bytes + 7) / 8);
    const auto lastBytes = static_cast<std::size_t>(bytes - 8 * static_cast<int>(words - 1));
    // A column's box as windows of 8 bytes: where each starts in the sums and the bits of its
    // box there, as the bytes lie in memory.
    struct Window {
        std::size_t at;
        quint64 mask;
    };
    std::vector<Window> windows;
    std::vector<std::size_t> firstWindow(static_cast<std::size_t>(area.width()) + 1);
    for (int i = 0; i < area.width(); ++i) {
        firstWindow[static_cast<std::size_t>(i)] = windows.size();
        for (int x = xs[i]; x < xs[i + 1];) {
            const int byte = x >> 3;
            const int end = std::min(xs[i + 1], 8 * byte + 64);
            uchar bits[8] = {};
            for (; x < end; ++x)
                bits[(x >> 3) - byte] |= static_cast<uchar>(0x80 >> (x & 7));
            Window w{static_cast<std::size_t>(byte - firstByte), 0};
            std::memcpy(&w.mask, bits, sizeof bits);
            windows.push_back(w);
        }
    }
    firstWindow.back() = windows.size();
    // The grey of a box by its black pixels, looked up: dividing costs more than counting.
    // Boxes come in few sizes (the edges of a steady step, and a last one cut short).
    std::vector<int> widths, heights;
    auto sizeIndex = [](std::vector<int> &sizes, int size) {
        const auto at = std::find(sizes.begin(), sizes.end(), size);
        if (at != sizes.end())
            return static_cast<std::size_t>(at - sizes.begin());
        sizes.push_back(size);
        return sizes.size() - 1;
    };
    std::vector<std::size_t> widthOf(static_cast<std::size_t>(area.width()));
    for (int i = 0; i < area.width(); ++i)
        widthOf[static_cast<std::size_t>(i)] = sizeIndex(widths, xs[i + 1] - xs[i]);
    std::vector<std::size_t> heightOf(static_cast<std::size_t>(area.height()));
    for (int j = 0; j < area.height(); ++j)
        heightOf[static_cast<std::size_t>(j)] = sizeIndex(heights, ys[j + 1] - ys[j]);
    std::vector<std::vector<uchar>> greys;
    for (int h : heights) {
        for (int w : widths) {
            const int pixels = w * h;
            std::vector<uchar> &grey = greys.emplace_back(static_cast<std::size_t>(pixels) + 1);
            for (int black = 0; black <= pixels; ++black)
                grey[static_cast<std::size_t>(black)] =
                    static_cast<uchar>(255 - (255 * black + pixels / 2) / pixels);
        }
    }
    const int tallest = *std::max_element(heights.begin(), heights.end());
    const int planes = std::bit_width(static_cast<unsigned>(tallest));
    // A word more than the row: a window reads 8 bytes from where it starts.
    const std::size_t stride = words + 1;
    std::vector<quint64> sums(static_cast<std::size_t>(planes) * stride);
    for (int j = fromRow; j < toRow; ++j) {
        std::fill(sums.begin(), sums.end(), 0);
        const auto add = [&](std::size_t k, quint64 carry) {
            for (quint64 *sum = &sums[k]; carry != 0; sum += stride) {
                const quint64 next = *sum & carry;
                *sum ^= carry;
                carry = next;
            }
        };
        for (int y = ys[j]; y < ys[j + 1]; ++y) {
            const uchar *row = page.constScanLine(y) + firstByte;
            quint64 word;
            for (std::size_t k = 0; k + 1 < words; ++k) {
                std::memcpy(&word, row + 8 * k, sizeof word);
                add(k, word);
            }
            word = 0;
            std::memcpy(&word, row + 8 * (words - 1), lastBytes);
            add(words - 1, word);
        }
        const auto *counts = reinterpret_cast<const uchar *>(sums.data());
        uchar *dst = out + j * outStride;
        const std::vector<uchar> *grey = &greys[heightOf[static_cast<std::size_t>(j)] * widths.size()];
        for (int i = 0; i < area.width(); ++i) {
            int black = 0;
            for (std::size_t w = firstWindow[static_cast<std::size_t>(i)]; w < firstWindow[i + 1]; ++w) {
                for (int p = 0; p < planes; ++p) {
                    quint64 bits;
                    std::memcpy(&bits, counts + static_cast<std::size_t>(p) * stride * 8 + windows[w].at,
                                sizeof bits);
                    black += std::popcount(bits & windows[w].mask) << p;
                }
            }
            dst[i] = grey[widthOf[static_cast<std::size_t>(i)]][static_cast<std::size_t>(black)];
        }
    }
}

// Below this many source pixels a reduction is over before a second thread would be started.
constexpr qint64 SharedReduction = 16'000'000;

// Output rows are independent of each other, so a large reduction (a whole A0 sheet fitted)
// is shared between two threads.
QImage bilevelReduced(const QImage &page, const QRect &area, Scale scale)
{
    QImage out(area.size(), QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    uchar *const bits = out.bits();
    const qsizetype stride = out.bytesPerLine();
    const int half = area.height() / 2;
    const qint64 counted =
        qint64(area.width()) * scale.den / scale.num * (qint64(area.height()) * scale.den / scale.num);
    if (counted < SharedReduction || half == 0) {
        bilevelReducedRows(page, area, scale, bits, stride, 0, area.height());
        return out;
    }
    std::thread helper;
    try {
        helper =
            std::thread(bilevelReducedRows, std::cref(page), area, scale, bits, stride, half, area.height());
    } catch (const std::system_error &) {
        bilevelReducedRows(page, area, scale, bits, stride, half, area.height());
    }
    bilevelReducedRows(page, area, scale, bits, stride, 0, half);
    if (helper.joinable())
        helper.join();
    return out;
}

QImage bilevelEnlarged(const QImage &page, const QRect &area, Scale scale)
{
    QImage out(area.size(), QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const std::vector<int> xs = nearest(area.x(), area.width(), scale);
    const std::vector<int> ys = nearest(area.y(), area.height(), scale);
    for (int j = 0; j < area.height(); ++j) {
        uchar *dst = out.scanLine(j);
        if (j > 0 && ys[j] == ys[j - 1]) {
            std::memcpy(dst, out.constScanLine(j - 1), static_cast<std::size_t>(area.width()));
            continue;
        }
        const uchar *row = page.constScanLine(ys[j]);
        for (int i = 0; i < area.width(); ++i)
            dst[i] = (row[xs[i] >> 3] >> (7 - (xs[i] & 7))) & 1 ? 0 : 255;
    }
    return out;
}

// Box average per byte channel: one for Grayscale8, four for RGB32 (whose fourth stays 255).
template <int channels> QImage toneReduced(const QImage &page, const QRect &area, Scale sx, Scale sy)
{
    QImage out(area.size(), page.format());
    if (out.isNull())
        return out;
    const std::vector<int> xs = boxEdges(area.x(), area.width(), sx, page.width());
    const std::vector<int> ys = boxEdges(area.y(), area.height(), sy, page.height());
    std::vector<int> sums(static_cast<std::size_t>(area.width() * channels));
    for (int j = 0; j < area.height(); ++j) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = ys[j]; y < ys[j + 1]; ++y) {
            const uchar *row = page.constScanLine(y);
            for (int i = 0; i < area.width(); ++i) {
                int *sum = &sums[static_cast<std::size_t>(i * channels)];
                for (int x = xs[i]; x < xs[i + 1]; ++x)
                    for (int c = 0; c < channels; ++c)
                        sum[c] += row[x * channels + c];
            }
        }
        uchar *dst = out.scanLine(j);
        const int rows = ys[j + 1] - ys[j];
        for (int i = 0; i < area.width(); ++i) {
            const int pixels = (xs[i + 1] - xs[i]) * rows;
            for (int c = 0; c < channels; ++c)
                dst[i * channels + c] = static_cast<uchar>((sums[i * channels + c] + pixels / 2) / pixels);
        }
    }
    return out;
}

QImage toneReduced(const QImage &page, const QRect &area, Scale sx, Scale sy)
{
    return page.depth() == 8 ? toneReduced<1>(page, area, sx, sy) : toneReduced<4>(page, area, sx, sy);
}

// Bilinear enlargement per byte channel. Each output pixel depends only on its own position,
// so parts rendered separately meet without a seam.
struct Sample {
    int index;  // the left (upper) source pixel
    int weight; // of the right (lower) one, 0..256
};

std::vector<Sample> bilinearSamples(int from, int count, Scale scale, int limit)
{
    std::vector<Sample> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        // Centre of output pixel i in source pixels, in 1/256ths, less half a pixel.
        const qint64 at =
            std::max<qint64>(0, (qint64(2 * (from + i) + 1) * scale.den * 256 / scale.num - 256) / 2);
        const int index = static_cast<int>(std::min<qint64>(at >> 8, limit - 1));
        samples[i] = {index, index + 1 < limit ? static_cast<int>(at & 255) : 0};
    }
    return samples;
}

QImage toneEnlarged(const QImage &page, const QRect &area, Scale sx, Scale sy)
{
    QImage out(area.size(), page.format());
    if (out.isNull())
        return out;
    const int channels = page.depth() / 8;
    const std::vector<Sample> xs = bilinearSamples(area.x(), area.width(), sx, page.width());
    const std::vector<Sample> ys = bilinearSamples(area.y(), area.height(), sy, page.height());
    for (int j = 0; j < area.height(); ++j) {
        const uchar *upper = page.constScanLine(ys[j].index);
        const uchar *lower = page.constScanLine(std::min(ys[j].index + 1, page.height() - 1));
        const int fy = ys[j].weight;
        uchar *dst = out.scanLine(j);
        for (int i = 0; i < area.width(); ++i) {
            const int left = xs[i].index * channels;
            const int right = std::min(xs[i].index + 1, page.width() - 1) * channels;
            const int fx = xs[i].weight;
            for (int c = 0; c < channels; ++c) {
                const int top = upper[left + c] * (256 - fx) + upper[right + c] * fx;
                const int bottom = lower[left + c] * (256 - fx) + lower[right + c] * fx;
                dst[i * channels + c] = static_cast<uchar>((top * (256 - fy) + bottom * fy + 32768) >> 16);
            }
        }
    }
    return out;
}

quint64 transpose8(quint64 x)
{
    // Transposes an 8 x 8 bit matrix held row by row, first row in the top byte.
    x = (x & 0xAA55AA55AA55AA55ULL) | ((x & 0x00AA00AA00AA00AAULL) << 7) | ((x >> 7) & 0x00AA00AA00AA00AAULL);
    x = (x & 0xCCCC3333CCCC3333ULL) | ((x & 0x0000CCCC0000CCCCULL) << 14) |
        ((x >> 14) & 0x0000CCCC0000CCCCULL);
    x = (x & 0xF0F0F0F00F0F0F0FULL) | ((x & 0x00000000F0F0F0F0ULL) << 28) |
        ((x >> 28) & 0x00000000F0F0F0F0ULL);
    return x;
}

// Quarter turn of a Mono image eight by eight pixels at a time, so an A1 page takes a
// fraction of a second and never leaves one bit per pixel.
QImage rotatedMono(const QImage &src, bool clockwise)
{
    const int w = src.width(), h = src.height();
    QImage dst(h, w, QImage::Format_Mono);
    if (dst.isNull())
        return dst;
    dst.setColorTable(src.colorTable());
    dst.fill(0);
    const int blockRows = (h + 7) / 8, blockCols = (w + 7) / 8;
    uchar *bits = dst.bits(); // not scanLine() per byte: that asks after sharing every time
    const qsizetype stride = dst.bytesPerLine();
    // Turning right puts source row y at x = h - 1 - y; working on whole bytes puts it at
    // 8 * blockRows - 1 - y, so each row is shifted left by the difference afterwards.
    const int shift = 8 * blockRows - h;
    for (int by = 0; by < blockRows; ++by) {
        const uchar *lines[8];
        for (int r = 0; r < 8; ++r)
            lines[r] = 8 * by + r < h ? src.constScanLine(8 * by + r) : nullptr;
        const int dstByte = clockwise ? blockRows - 1 - by : by;
        for (int bx = 0; bx < blockCols; ++bx) {
            quint64 block = 0;
            for (int r = 0; r < 8; ++r) {
                // Clockwise, the last source row ends up leftmost, so it goes in the top byte.
                const int slot = clockwise ? r : 7 - r;
                block |= quint64(lines[r] ? lines[r][bx] : 0) << (8 * slot);
            }
            block = transpose8(block);
            for (int c = 0; c < 8; ++c) {
                const int x = 8 * bx + c;
                if (x >= w)
                    break;
                const int y = clockwise ? x : w - 1 - x;
                bits[y * stride + dstByte] = static_cast<uchar>(block >> (8 * (7 - c)));
            }
        }
    }
    if (clockwise && shift > 0) {
        const int bytes = (h + 7) / 8;
        for (int y = 0; y < w; ++y) {
            uchar *row = bits + y * stride;
            for (int i = 0; i < bytes; ++i)
                row[i] =
                    static_cast<uchar>((row[i] << shift) | (i + 1 < bytes ? row[i + 1] >> (8 - shift) : 0));
        }
    }
    return dst;
}

} // namespace

PageImage PageImage::load(const QString &path, const DrawnAt &drawnAt)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw notFound(path);
    if (!info.isFile())
        throw invalidFormat(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw NumberedError(PageErr::Unreadable,
                            QStringLiteral("'%1' を読み込めません。(%2)").arg(path, file.errorString()));
    const QByteArray head = file.read(4);
    file.close();

    PageImage page;
    QImage image;
    if (isTiffHeader(head)) {
        const TiffPage tiff = readTiff(path);
        page.m_kind = {"tiff", tiff.compression, tiff.photometric, tiff.bitsPerSample};
        if (tiff.isBilevel()) {
            page.m_image = tiff.bilevel;
            page.m_dpiX = tiff.dpiX;
            page.m_dpiY = tiff.dpiY;
            return page;
        }
        QByteArray format;
        image = readWithQt(path, &format);
        page.m_dpiX = tiff.dpiX;
        page.m_dpiY = tiff.dpiY;
    } else {
        image = readWithQt(path, &page.m_kind.format, drawnAt, &page.m_whole);
        page.m_dpiX = dpiOf(image.dotsPerMeterX());
        page.m_dpiY = dpiOf(image.dotsPerMeterY());
    }
    // Moved, not shared: setting the resolution on a shared image would copy all of it.
    page.m_image = normalised(std::move(image));
    if (page.m_image.isNull())
        throw outOfMemory();
    page.setDpi(page.m_dpiX, page.m_dpiY);
    return page;
}

PageImage PageImage::fromImage(const QImage &image, int dpi)
{
    PageImage page;
    if (image.isNull())
        return page;
    page.m_image = normalised(image);
    if (page.m_image.isNull())
        throw outOfMemory();
    page.setDpi(dpi, dpi);
    return page;
}

void PageImage::setDpi(int x, int y)
{
    m_dpiX = std::max(0, x);
    m_dpiY = std::max(0, y);
    if (m_dpiX > 0 && m_dpiY > 0 && !m_image.isNull()) {
        m_image.setDotsPerMeterX(static_cast<int>(std::lround(m_dpiX / 0.0254)));
        m_image.setDotsPerMeterY(static_cast<int>(std::lround(m_dpiY / 0.0254)));
    }
}

QSize PageImage::zoomedSize(Scale scale) const
{
    if (isNull() || scale.num <= 0 || scale.den <= 0)
        return {};
    auto side = [scale](int pixels) {
        return static_cast<int>((qint64(pixels) * scale.num + scale.den - 1) / scale.den);
    };
    return {side(size().width()), side(size().height())};
}

bool PageImage::needsWhole(Scale scale) const
{
    return isReduced() && scale.num * m_whole.width() > scale.den * m_image.width();
}

QImage PageImage::render(const QRect &area, Scale scale) const
{
    const QRect part = area & QRect(QPoint(0, 0), zoomedSize(scale));
    if (part.isEmpty())
        return {};
    const bool reduced = scale.num < scale.den;
    if (isBilevel())
        return reduced ? bilevelReduced(m_image, part, scale) : bilevelEnlarged(m_image, part, scale);
    if (isReduced()) {
        // The reduced page stands for the whole: its pixels are fewer by a ratio of each side.
        auto own = [](Scale s, int have, int whole) {
            const Scale r{s.num * whole, s.den * have};
            const qint64 common = std::gcd(r.num, r.den);
            return Scale{r.num / common, r.den / common};
        };
        const Scale sx = own(scale, m_image.width(), m_whole.width());
        const Scale sy = own(scale, m_image.height(), m_whole.height());
        // Its sides are rounded apart, so near 100 % one may be reduced and the other not.
        return sx.num < sx.den && sy.num < sy.den ? toneReduced(m_image, part, sx, sy)
                                                  : toneEnlarged(m_image, part, sx, sy);
    }
    if (scale.num == scale.den)
        return m_image.copy(part);
    return reduced ? toneReduced(m_image, part, scale, scale) : toneEnlarged(m_image, part, scale, scale);
}

QSizeF PageImage::printSize(const QSizeF &printable, double printerDpiX, double printerDpiY) const
{
    QSizeF size;
    if (m_dpiX > 0 && m_dpiY > 0)
        size =
            QSizeF(this->size().width() * printerDpiX / m_dpiX, this->size().height() * printerDpiY / m_dpiY);
    if (size.isEmpty() || size.width() > printable.width() || size.height() > printable.height())
        size = QSizeF(this->size()).scaled(printable, Qt::KeepAspectRatio);
    return size;
}

void PageImage::rotateLeft()
{
    if (isNull())
        return;
    QImage turned = isBilevel() ? rotatedMono(m_image, false) : m_image.transformed(QTransform().rotate(-90));
    if (turned.isNull())
        throw outOfMemory();
    m_image = turned;
    m_whole.transpose();
    setDpi(m_dpiY, m_dpiX);
}

void PageImage::rotateRight()
{
    if (isNull())
        return;
    QImage turned = isBilevel() ? rotatedMono(m_image, true) : m_image.transformed(QTransform().rotate(90));
    if (turned.isNull())
        throw outOfMemory();
    m_image = turned;
    m_whole.transpose();
    setDpi(m_dpiY, m_dpiX);
}

void PageImage::save(const QString &path, int fileType)
{
    if (isNull())
        throw NumberedError(PageErr::NoPicture, QStringLiteral("ピクチャーがありません。"));
    // A page decoded for the screen only would replace a drawing with its thumbnail.
    if (isReduced())
        throw cannotWrite(QStringLiteral("'%1' に書き込めません。(縮小して読んだページです)").arg(path));
    if (fileType != 0 && fileType != 1)
        throw NumberedError(PageErr::InvalidArgument,
                            QStringLiteral("プロシージャの呼び出し、または引数が不正です。"));
    const bool asTiff = fileType == 1 || m_kind.format.isEmpty() || m_kind.format == "tiff";
    if (asTiff) {
        TiffFormat format;
        format.dpiX = m_dpiX;
        format.dpiY = m_dpiY;
        if (fileType == 0) {
            format.compression = m_kind.tiffCompression;
            format.minIsBlack = isBilevel() && m_kind.tiffPhotometric == PHOTOMETRIC_MINISBLACK;
            // The page was the first of its file, as load reads it; the rest stay in place.
            format.keepOtherPages = m_kind.format == "tiff";
        }
        writeTiff(m_image, path, format);
        if (fileType == 1 || m_kind.format.isEmpty())
            m_kind = {"tiff", 0, -1, isBilevel() ? 1 : 8};
        return;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw cannotWrite(QStringLiteral("'%1' に書き込めません。(%2)").arg(path, file.errorString()));
    QImageWriter writer(&file, m_kind.format);
    if (m_kind.format == "jpeg")
        writer.setQuality(95);
    // Qt drops an error met while flushing once the file closes, so flush and look first.
    if (!writer.write(m_image) || !file.flush() || file.error() != QFileDevice::NoError) {
        const QString why = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        file.cancelWriting();
        throw cannotWrite(QStringLiteral("'%1' に書き込めません。(%2)").arg(path, why));
    }
    if (!file.commit())
        throw cannotWrite(QStringLiteral("'%1' を置けません。(%2)").arg(path, file.errorString()));
}

} // namespace zumen
