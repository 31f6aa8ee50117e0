#include "imaging/tiff_io.h"

#include "imaging/page_error.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <sys/stat.h>

namespace zumen {
namespace {

// No page of a drawing comes near this; anything larger is a damaged header.
constexpr uint32_t MaxSide = 1u << 18;

// Each strip starts coding afresh from a white row; at this height that costs well under 1 %
// of the file and still gives an A0 sheet dozens of strips to share among threads.
constexpr uint32_t FaxStripRows = 512;

// libtiff talks to stderr unless told otherwise; we keep its first complaint for the message
// and drop the warnings (unknown tags and the like are no reason to refuse a page).
int keepFirst(TIFF *, void *userData, const char *, const char *fmt, va_list ap)
{
    auto *messages = static_cast<QString *>(userData);
    if (messages->isEmpty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        *messages = QString::fromLocal8Bit(text);
    }
    return 1;
}

int ignore(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

class QuietOptions {
public:
    explicit QuietOptions(QString *messages) : m_options(TIFFOpenOptionsAlloc())
    {
        TIFFOpenOptionsSetErrorHandlerExtR(m_options, keepFirst, messages);
        TIFFOpenOptionsSetWarningHandlerExtR(m_options, ignore, nullptr);
    }
    ~QuietOptions() { TIFFOpenOptionsFree(m_options); }
    QuietOptions(const QuietOptions &) = delete;
    QuietOptions &operator=(const QuietOptions &) = delete;
    TIFFOpenOptions *get() const { return m_options; }

private:
    TIFFOpenOptions *m_options;
};

struct TiffCloser {
    void operator()(TIFF *tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// libtiff writes through these into a QSaveFile, which gives us the temporary name, the rename
// and the permissions of the file it replaces. libtiff does not always pass on a failed write
// or seek, so the sink remembers one. A one-page file is never read back; a file of several
// pages is, as libtiff links each directory to the one before, so those go to a buffer first.
struct Sink {
    QIODevice *device;
    bool failed = false;
};
Sink &sink(thandle_t handle)
{
    return *static_cast<Sink *>(handle);
}
tmsize_t sinkRead(thandle_t handle, void *data, tmsize_t size)
{
    QIODevice *d = sink(handle).device;
    const qint64 read = d->isReadable() ? d->read(static_cast<char *>(data), size) : -1;
    return read < 0 ? 0 : static_cast<tmsize_t>(read);
}
tmsize_t sinkWrite(thandle_t handle, void *data, tmsize_t size)
{
    const qint64 written = sink(handle).device->write(static_cast<const char *>(data), size);
    sink(handle).failed |= written != size;
    return written;
}
toff_t sinkSeek(thandle_t handle, toff_t offset, int whence)
{
    QIODevice *d = sink(handle).device;
    qint64 base = 0;
    if (whence == SEEK_CUR)
        base = d->pos();
    else if (whence == SEEK_END)
        base = d->size();
    const qint64 target = base + static_cast<qint64>(offset);
    if (target >= 0 && d->seek(target))
        return static_cast<toff_t>(target);
    sink(handle).failed = true;
    return static_cast<toff_t>(-1);
}
int sinkClose(thandle_t)
{
    return 0;
}
toff_t sinkSize(thandle_t handle)
{
    return static_cast<toff_t>(sink(handle).device->size());
}
int noMap(thandle_t, void **, toff_t *)
{
    return 0;
}
void noUnmap(thandle_t, void *, toff_t)
{}

enum class Samples { Bilevel, Grey, Colour };

int suitableCompression(int wanted, Samples samples)
{
    const bool bilevel = samples == Samples::Bilevel;
    bool fits = false;
    switch (wanted) {
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        fits = bilevel;
        break;
    case COMPRESSION_JPEG:
        fits = !bilevel;
        break;
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
        fits = true;
        break;
    default:
        break;
    }
    if (fits && TIFFIsCODECConfigured(static_cast<uint16_t>(wanted)))
        return wanted;
    return bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW;
}

int dpiFrom(float resolution, uint16_t unit)
{
    if (!(resolution > 0.0f) || !std::isfinite(resolution))
        return 0;
    const double dpi = unit == RESUNIT_CENTIMETER ? resolution * 2.54 : resolution;
    return unit == RESUNIT_NONE || dpi > 100000.0 ? 0 : static_cast<int>(std::lround(dpi));
}

// A Mono image for a page. A large one lies in huge pages: on a virtual machine the first
// touch of each 4 KB page of fresh memory can cost microseconds, which for an A0 sheet
// (70 MB, 17,000 pages) came to more time than decoding it.
QImage monoImage(QSize size)
{
    constexpr std::size_t Huge = 2u << 20;
    const auto bytesPerLine = static_cast<qsizetype>((size.width() + 31) / 32 * 4);
    const auto bytes = static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(size.height());
    if (bytes < Huge)
        return QImage(size, QImage::Format_Mono);
    const std::size_t rounded = (bytes + Huge - 1) / Huge * Huge;
    auto *data = static_cast<uchar *>(std::aligned_alloc(Huge, rounded));
    if (!data)
        return {};
#ifdef MADV_HUGEPAGE
    madvise(data, rounded, MADV_HUGEPAGE); // only advice: without it the page is just slower
#endif
    return QImage(data, size.width(), size.height(), bytesPerLine, QImage::Format_Mono, std::free, data);
}

// Whether two handles read the very same file as it was when both were opened.
bool sameFile(TIFF *a, TIFF *b)
{
    struct stat x = {};
    struct stat y = {};
    return fstat(TIFFFileno(a), &x) == 0 && fstat(TIFFFileno(b), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino && x.st_size == y.st_size && x.st_mtim.tv_sec == y.st_mtim.tv_sec &&
           x.st_mtim.tv_nsec == y.st_mtim.tv_nsec;
}

// A page in strips decodes on every core: a Group 4 strip can only be decoded row after row,
// but strips are independent. Each thread takes the next strip nobody has and decodes its rows
// straight into the image, so threads write disjoint rows and share only the counter. A libtiff
// handle is not for two threads, so every helper opens the file for itself.
bool decodeStrips(TIFF *tif, const QString &path, uchar *bits, qsizetype bytesPerLine, uint32_t height)
{
    uint32_t rowsPerStrip = height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, height);
    const uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    std::atomic<uint32_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&](TIFF *t) {
        for (uint32_t s = next++; s < strips && !failed; s = next++) {
            const uint32_t end = std::min(height, (s + 1) * rowsPerStrip);
            for (uint32_t y = s * rowsPerStrip; y < end; ++y) {
                if (TIFFReadScanline(t, bits + static_cast<qsizetype>(y) * bytesPerLine, y, 0) < 0) {
                    failed = true;
                    return;
                }
            }
        }
    };
    const int helpers = static_cast<int>(
        std::min<uint32_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u), strips) - 1);
    const QByteArray name = QFile::encodeName(path);
    auto help = [&] {
        try {
            QString messages; // the page's own handle reports what is wrong with the file
            QuietOptions options(&messages);
            const TiffPtr own(TIFFOpenExt(name.constData(), "r", options.get()));
            // A file replaced since it was opened is left to the first handle alone.
            if (own && sameFile(own.get(), tif))
                work(own.get());
        } catch (const std::bad_alloc &) {
            // Out of memory before taking a strip: the others decode them all.
        }
    };
    std::vector<std::thread> threads;
    try {
        for (int i = 0; i < helpers; ++i)
            threads.emplace_back(help);
    } catch (const std::system_error &) {
        // No thread to be had: the strips left over are decoded here.
    }
    work(tif);
    for (std::thread &t : threads)
        t.join();
    return !failed;
}

// Reads rows or tiles straight into the image; any row libtiff cannot decode fails the page.
bool decodeBilevel(TIFF *tif, const QString &path, QImage &image)
{
    const int rowBytes = (image.width() + 7) / 8;
    if (!TIFFIsTiled(tif)) {
        if (TIFFScanlineSize(tif) > image.bytesPerLine())
            return false;
        // Taken once here: scanLine() on several threads would race on the image's bookkeeping.
        uchar *bits = image.bits();
        const qsizetype bytesPerLine = image.bytesPerLine();
        if (TIFFNumberOfStrips(tif) > 1)
            return decodeStrips(tif, path, bits, bytesPerLine, static_cast<uint32_t>(image.height()));
        for (int y = 0; y < image.height(); ++y) {
            if (TIFFReadScanline(tif, bits + y * bytesPerLine, static_cast<uint32_t>(y), 0) < 0)
                return false;
        }
        return true;
    }
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    const tmsize_t tileRowBytes = TIFFTileRowSize(tif);
    if (tileWidth == 0 || tileWidth % 8 != 0 || tileLength == 0 || tileRowBytes <= 0)
        return false;
    std::vector<unsigned char> tile(static_cast<std::size_t>(TIFFTileSize(tif)));
    for (uint32_t ty = 0; ty < static_cast<uint32_t>(image.height()); ty += tileLength) {
        for (uint32_t tx = 0; tx < static_cast<uint32_t>(image.width()); tx += tileWidth) {
            if (TIFFReadTile(tif, tile.data(), tx, ty, 0, 0) < 0)
                return false;
            const int byteX = static_cast<int>(tx / 8);
            const auto bytes = std::min<std::size_t>(static_cast<std::size_t>(tileRowBytes),
                                                     static_cast<std::size_t>(rowBytes - byteX));
            for (uint32_t r = 0; r < tileLength && ty + r < static_cast<uint32_t>(image.height()); ++r)
                std::memcpy(image.scanLine(static_cast<int>(ty + r)) + byteX,
                            tile.data() +
                                static_cast<std::size_t>(r) * static_cast<std::size_t>(tileRowBytes),
                            bytes);
        }
    }
    return true;
}

// How a tag's value is passed to TIFFGetField and TIFFSetField.
enum class Value { U16, U32, Float, Text, U16Pair, Floats, Counted, ExtraSamples, ColourMap };
struct Tag {
    uint32_t tag;
    Value value;
};

// Where a page stands in its document and where it came from; kept on a rewritten page too.
constexpr Tag DescriptiveTags[] = {
    {TIFFTAG_SUBFILETYPE, Value::U32},
    {TIFFTAG_PAGENUMBER, Value::U16Pair},
    {TIFFTAG_DOCUMENTNAME, Value::Text},
    {TIFFTAG_PAGENAME, Value::Text},
    {TIFFTAG_IMAGEDESCRIPTION, Value::Text},
    {TIFFTAG_MAKE, Value::Text},
    {TIFFTAG_MODEL, Value::Text},
    {TIFFTAG_SOFTWARE, Value::Text},
    {TIFFTAG_DATETIME, Value::Text},
    {TIFFTAG_ARTIST, Value::Text},
    {TIFFTAG_HOSTCOMPUTER, Value::Text},
    {TIFFTAG_COPYRIGHT, Value::Text},
};

// What it takes to read a page's stored data, in an order libtiff accepts: a codec's own
// tags exist only once the compression is set, and the size of the colour map follows from
// the bits per sample.
constexpr Tag LayoutTags[] = {
    {TIFFTAG_IMAGEWIDTH, Value::U32},
    {TIFFTAG_IMAGELENGTH, Value::U32},
    {TIFFTAG_BITSPERSAMPLE, Value::U16},
    {TIFFTAG_SAMPLESPERPIXEL, Value::U16},
    {TIFFTAG_COMPRESSION, Value::U16},
    {TIFFTAG_PHOTOMETRIC, Value::U16},
    {TIFFTAG_FILLORDER, Value::U16},
    {TIFFTAG_PLANARCONFIG, Value::U16},
    {TIFFTAG_ORIENTATION, Value::U16},
    {TIFFTAG_ROWSPERSTRIP, Value::U32},
    {TIFFTAG_TILEWIDTH, Value::U32},
    {TIFFTAG_TILELENGTH, Value::U32},
    {TIFFTAG_SAMPLEFORMAT, Value::U16},
    {TIFFTAG_EXTRASAMPLES, Value::ExtraSamples},
    {TIFFTAG_COLORMAP, Value::ColourMap},
    {TIFFTAG_MINSAMPLEVALUE, Value::U16},
    {TIFFTAG_MAXSAMPLEVALUE, Value::U16},
    {TIFFTAG_THRESHHOLDING, Value::U16},
    {TIFFTAG_INKSET, Value::U16},
    {TIFFTAG_XRESOLUTION, Value::Float},
    {TIFFTAG_YRESOLUTION, Value::Float},
    {TIFFTAG_RESOLUTIONUNIT, Value::U16},
    {TIFFTAG_XPOSITION, Value::Float},
    {TIFFTAG_YPOSITION, Value::Float},
    {TIFFTAG_YCBCRSUBSAMPLING, Value::U16Pair},
    {TIFFTAG_YCBCRPOSITIONING, Value::U16},
    {TIFFTAG_YCBCRCOEFFICIENTS, Value::Floats},
    {TIFFTAG_REFERENCEBLACKWHITE, Value::Floats},
    {TIFFTAG_WHITEPOINT, Value::Floats},
    {TIFFTAG_PRIMARYCHROMATICITIES, Value::Floats},
    {TIFFTAG_ICCPROFILE, Value::Counted},
    {TIFFTAG_PREDICTOR, Value::U16},
    {TIFFTAG_GROUP3OPTIONS, Value::U32},
    {TIFFTAG_GROUP4OPTIONS, Value::U32},
    {TIFFTAG_JPEGTABLES, Value::Counted},
};

// Copies the tags in's current page has; false if out refuses one.
template <std::size_t N> bool copyTags(TIFF *in, TIFF *out, const Tag (&tags)[N])
{
    bool ok = true;
    for (const Tag &t : tags) {
        switch (t.value) {
        case Value::U16: {
            uint16_t v = 0;
            if (TIFFGetField(in, t.tag, &v))
                ok &= TIFFSetField(out, t.tag, v) != 0;
            break;
        }
        case Value::U32: {
            uint32_t v = 0;
            if (TIFFGetField(in, t.tag, &v))
                ok &= TIFFSetField(out, t.tag, v) != 0;
            break;
        }
        case Value::Float: {
            float v = 0;
            if (TIFFGetField(in, t.tag, &v))
                ok &= TIFFSetField(out, t.tag, static_cast<double>(v)) != 0;
            break;
        }
        case Value::Text: {
            const char *v = nullptr;
            if (TIFFGetField(in, t.tag, &v) && v)
                ok &= TIFFSetField(out, t.tag, v) != 0;
            break;
        }
        case Value::U16Pair: {
            uint16_t a = 0, b = 0;
            if (TIFFGetField(in, t.tag, &a, &b))
                ok &= TIFFSetField(out, t.tag, a, b) != 0;
            break;
        }
        case Value::Floats: {
            const float *v = nullptr;
            if (TIFFGetField(in, t.tag, &v) && v)
                ok &= TIFFSetField(out, t.tag, v) != 0;
            break;
        }
        case Value::Counted: {
            uint32_t count = 0;
            const void *v = nullptr;
            if (TIFFGetField(in, t.tag, &count, &v) && count > 0 && v)
                ok &= TIFFSetField(out, t.tag, count, v) != 0;
            break;
        }
        case Value::ExtraSamples: {
            uint16_t count = 0;
            const uint16_t *v = nullptr;
            if (TIFFGetField(in, t.tag, &count, &v) && v)
                ok &= TIFFSetField(out, t.tag, count, v) != 0;
            break;
        }
        case Value::ColourMap: {
            const uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
            if (TIFFGetField(in, t.tag, &r, &g, &b) && r && g && b)
                ok &= TIFFSetField(out, t.tag, r, g, b) != 0;
            break;
        }
        }
    }
    return ok;
}

// Appends in's current page to out as it is stored: the compressed strips or tiles are
// copied, not decoded, so the page keeps its compression and every pixel.
bool copyPage(TIFF *in, TIFF *out, qint64 fileSize)
{
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(in, TIFFTAG_COMPRESSION, &compression);
    // Old-style JPEG data lies where tags of its own point, which a copy cannot follow.
    if (compression == COMPRESSION_OJPEG || !copyTags(in, out, LayoutTags) ||
        !copyTags(in, out, DescriptiveTags))
        return false;
    const bool tiled = TIFFIsTiled(in);
    const uint32_t count = tiled ? TIFFNumberOfTiles(in) : TIFFNumberOfStrips(in);
    std::vector<char> data;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t bytes = TIFFGetStrileByteCount(in, i);
        // More than the file holds is a damaged count; an empty strip has nothing to copy.
        if (bytes == 0 || bytes > static_cast<uint64_t>(fileSize))
            return false;
        data.resize(static_cast<std::size_t>(bytes));
        const auto size = static_cast<tmsize_t>(bytes);
        const bool copied = tiled ? TIFFReadRawTile(in, i, data.data(), size) == size &&
                                        TIFFWriteRawTile(out, i, data.data(), size) == size
                                  : TIFFReadRawStrip(in, i, data.data(), size) == size &&
                                        TIFFWriteRawStrip(out, i, data.data(), size) == size;
        if (!copied)
            return false;
    }
    return TIFFWriteDirectory(out) != 0;
}

} // namespace

void writeTiff(const QImage &source, const QString &path, const TiffFormat &format)
{
    auto failWith = [](const QString &why) { throw NumberedError(PageErr::Unreadable, why); };
    if (source.isNull())
        failWith(QStringLiteral("画像がありません。"));

    QImage image;
    Samples samples = Samples::Colour;
    if (source.depth() == 1) {
        image = source.convertToFormat(QImage::Format_Mono);
        samples = Samples::Bilevel;
    } else if (source.format() == QImage::Format_Grayscale8 ||
               source.format() == QImage::Format_Grayscale16 ||
               (source.format() == QImage::Format_Indexed8 && source.allGray())) {
        image = source.convertToFormat(QImage::Format_Grayscale8);
        samples = Samples::Grey;
    } else {
        image = source.convertToFormat(QImage::Format_RGB32);
    }
    if (image.isNull())
        failWith(QStringLiteral("メモリが不足しています。"));
    const int compression = suitableCompression(format.compression, samples);
    // In the file 1 is black unless it is min-is-black; Qt's colour table may say either.
    const bool zeroIsBlack =
        samples == Samples::Bilevel && image.colorCount() > 0 && qGray(image.color(0)) < 128;
    const bool invert = zeroIsBlack != format.minIsBlack;

    // The other pages come from the file as it is now. A chain of pages libtiff cannot follow
    // to its end may hide pages, so that is refused as well.
    QString inMessages;
    QuietOptions inOptions(&inMessages);
    TiffPtr in;
    if (format.keepOtherPages && QFileInfo(path).isFile())
        in.reset(TIFFOpenExt(QFile::encodeName(path).constData(), "r", inOptions.get()));
    inMessages.clear();
    const bool several = in && TIFFNumberOfDirectories(in.get()) > 1;
    auto pagesAtRisk = [&](const QString &why) {
        throw NumberedError(
            PageErr::OtherPagesAtRisk,
            QStringLiteral("'%1' のほかのページをそのまま残せないため、書き込みませんでした。(%2)")
                .arg(path, why));
    };
    if (in && !inMessages.isEmpty())
        pagesAtRisk(inMessages);

    // Unbuffered, so that a failed write shows at once rather than in a flush Qt may forget.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failWith(QStringLiteral("'%1' に書き込めません。(%2)").arg(path, file.errorString()));
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    QString messages;
    QuietOptions options(&messages);
    Sink out{several ? static_cast<QIODevice *>(&buffer) : &file};
    TiffPtr tif(TIFFClientOpenExt(QFile::encodeName(path).constData(), "w", &out, sinkRead, sinkWrite,
                                  sinkSeek, sinkClose, sinkSize, noMap, noUnmap, options.get()));
    if (!tif)
        failWith(QStringLiteral("'%1' に書き込めません。(%2)").arg(path, messages));
    TIFF *t = tif.get();
    const auto width = static_cast<uint32_t>(image.width());
    const auto height = static_cast<uint32_t>(image.height());
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, samples == Samples::Bilevel ? 1 : 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples == Samples::Colour ? 3 : 1);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    if (samples == Samples::Bilevel) {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     format.minIsBlack ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    } else {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     samples == Samples::Grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    }
    if (compression == COMPRESSION_JPEG)
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 95);
    if (samples != Samples::Bilevel &&
        (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
         compression == COMPRESSION_DEFLATE))
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    // Fax pages go in strips of FaxStripRows so that they can be decoded on several cores
    // (a single Group 4 strip decodes only row after row); other codecs get libtiff's size.
    const bool fax = compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, fax ? std::min(height, FaxStripRows) : TIFFDefaultStripSize(t, 0));
    if (format.dpiX > 0 && format.dpiY > 0) {
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(format.dpiX));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(format.dpiY));
    }
    if (several)
        copyTags(in.get(), t, DescriptiveTags);

    // libtiff may encode in place (the predictor does), so every row goes through our own buffer.
    const int lineBytes = samples == Samples::Bilevel ? (image.width() + 7) / 8
                          : samples == Samples::Grey  ? image.width()
                                                      : image.width() * 3;
    std::vector<unsigned char> line(static_cast<std::size_t>(lineBytes));
    bool ok = true;
    for (uint32_t y = 0; y < height && ok; ++y) {
        const uchar *src = image.constScanLine(static_cast<int>(y));
        if (samples == Samples::Colour) {
            const auto *px = reinterpret_cast<const QRgb *>(src);
            for (int x = 0; x < image.width(); ++x) {
                line[3 * x] = static_cast<unsigned char>(qRed(px[x]));
                line[3 * x + 1] = static_cast<unsigned char>(qGreen(px[x]));
                line[3 * x + 2] = static_cast<unsigned char>(qBlue(px[x]));
            }
        } else if (invert) {
            for (int i = 0; i < lineBytes; ++i)
                line[i] = static_cast<unsigned char>(~src[i]);
        } else {
            std::memcpy(line.data(), src, line.size());
        }
        ok = TIFFWriteScanline(t, line.data(), y, 0) >= 0;
    }
    if (several) {
        ok = ok && TIFFWriteDirectory(t) != 0;
        if (ok) {
            const qint64 fileSize = QFileInfo(path).size();
            while (ok && TIFFReadDirectory(in.get()))
                ok = copyPage(in.get(), t, fileSize);
            if (!ok || !inMessages.isEmpty()) {
                tif.reset();
                file.cancelWriting();
                pagesAtRisk(!inMessages.isEmpty() ? inMessages : messages);
            }
        }
    }
    ok = ok && TIFFFlush(t) != 0;
    tif.reset();
    if (ok && several && !out.failed)
        ok = file.write(buffer.data()) == buffer.size();
    if (!ok || out.failed || file.error() != QFileDevice::NoError) {
        const QString why = file.error() != QFileDevice::NoError ? file.errorString() : messages;
        file.cancelWriting();
        failWith(QStringLiteral("'%1' の書き込みに失敗しました。(%2)").arg(path, why));
    }
    if (!file.commit())
        failWith(QStringLiteral("'%1' を置けません。(%2)").arg(path, file.errorString()));
}

void writeBilevelTiff(const QImage &image, const QString &path, int dpi)
{
    const QImage mono = image.depth() == 1 || image.isNull()
                            ? image
                            : image.convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::ThresholdDither);
    writeTiff(mono, path, {COMPRESSION_CCITTFAX4, false, dpi, dpi});
}

TiffPage readTiff(const QString &path)
{
    TiffPage page;
    QString messages; // libtiff's complaint: the user is told the file and the number
    const auto damaged = [&] {
        throw NumberedError(PageErr::Undecodable, QStringLiteral("ファイル形式が無効です。(%1)").arg(path));
    };
    QuietOptions options(&messages);
    TiffPtr tif(TIFFOpenExt(QFile::encodeName(path).constData(), "r", options.get()));
    if (!tif)
        damaged();
    TIFF *t = tif.get();
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height) ||
        width == 0 || height == 0 || width > MaxSide || height > MaxSide ||
        qint64(width) * height > MaxPagePixels)
        damaged();
    uint16_t bits = 1, samples = 1, compression = COMPRESSION_NONE, photometric = 0, unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
    page.size = QSize(static_cast<int>(width), static_cast<int>(height));
    page.bitsPerSample = bits;
    page.samplesPerPixel = samples;
    page.compression = compression;
    // Fax pages often leave the photometric out; min-is-white is what they mean.
    page.photometric =
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) ? photometric : (bits == 1 ? 0 : -1);
    float xres = 0, yres = 0;
    if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres)) {
        page.dpiX = dpiFrom(xres, unit);
        page.dpiY = dpiFrom(yres, unit);
    }
    if (!page.isBilevel())
        return page;

    QImage image = monoImage(page.size);
    if (image.isNull())
        throw NumberedError(PageErr::NoMemory, QStringLiteral("メモリが不足しています。"));
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    if (!decodeBilevel(t, path, image))
        damaged();
    if (page.photometric == PHOTOMETRIC_MINISBLACK)
        image.invertPixels();
    if (page.dpiX > 0 && page.dpiY > 0) {
        image.setDotsPerMeterX(static_cast<int>(std::lround(page.dpiX / 0.0254)));
        image.setDotsPerMeterY(static_cast<int>(std::lround(page.dpiY / 0.0254)));
    }
    page.bilevel = image;
    return page;
}

} // namespace zumen
