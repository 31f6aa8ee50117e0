#include "support/page_files.h"

#include "imaging/page_image.h"
#include "imaging/tiff_io.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace zumen;

namespace {

QImage greyOf(const QImage &image)
{
    return image.convertToFormat(QImage::Format_Grayscale8);
}

QImage turnedRight(const QImage &image)
{
    return greyOf(image).transformed(QTransform().rotate(90));
}

// The mean difference of two grey images of one size, b moved by (dx, dy); edges left out.
double meanDifference(const QImage &a, const QImage &b, int dx = 0, int dy = 0)
{
    double sum = 0;
    for (int y = 1; y + 1 < a.height(); ++y)
        for (int x = 1; x + 1 < a.width(); ++x)
            sum += std::abs(a.constScanLine(y)[x] - b.constScanLine(y + dy)[x + dx]);
    return sum / (a.width() * a.height());
}

void expectSamePixels(const QImage &actual, const QImage &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    const QImage a = greyOf(actual), e = greyOf(expected);
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        differing += std::memcmp(a.constScanLine(y), e.constScanLine(y), std::size_t(a.width())) != 0;
    EXPECT_EQ(differing, 0) << "rows that differ";
}

// What libtiff itself reads from a page of a file.
struct TiffTags {
    int pages = 0; // in the whole file
    int width = 0, height = 0, bits = 0, samples = 0, compression = 0, photometric = -1;
    float xres = 0;
    QList<std::pair<quint64, quint64>> strips; // where each strip lies in the file, and its bytes
    QByteArray stored;                         // the page's strips as stored, still compressed
    bool decodes = false;
};

TiffTags tiffTags(const QString &path, int page = 0)
{
    TiffTags tags;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return tags;
    tags.pages = TIFFNumberOfDirectories(tif);
    if (TIFFSetDirectory(tif, static_cast<tdir_t>(page))) {
        uint32_t w = 0, h = 0;
        uint16_t bits = 0, samples = 0, compression = 0, photometric = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
            tags.photometric = photometric;
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &tags.xres);
        for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
            QByteArray strip(static_cast<qsizetype>(TIFFGetStrileByteCount(tif, s)), '\0');
            TIFFReadRawStrip(tif, s, strip.data(), strip.size());
            tags.stored += strip;
            tags.strips.append({TIFFGetStrileOffset(tif, s), TIFFGetStrileByteCount(tif, s)});
        }
        std::vector<uint32_t> rgba(std::size_t(w) * h);
        tags.decodes = TIFFReadRGBAImage(tif, w, h, rgba.data(), 1) == 1;
        tags.width = int(w), tags.height = int(h), tags.bits = bits, tags.samples = samples;
        tags.compression = compression;
    }
    TIFFClose(tif);
    return tags;
}

// A bilevel TIFF in a layout our own writer never produces: tiles, 0 as black.
void writeTiledBilevel(const QString &file, const QImage &mono)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "w");
    ASSERT_TRUE(tif);
    QImage bits = mono.copy(0, 0, (mono.width() + 31) / 32 * 32, (mono.height() + 15) / 16 * 16);
    bits.invertPixels();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, mono.width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, mono.height());
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 32);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    uchar tile[4 * 16];
    for (int ty = 0; ty < mono.height(); ty += 16)
        for (int tx = 0; tx < mono.width(); tx += 32) {
            for (int r = 0; r < 16; ++r)
                std::memcpy(tile + r * 4, bits.constScanLine(ty + r) + tx / 8, 4);
            TIFFWriteTile(tif, tile, uint32_t(tx), uint32_t(ty), 0, 0);
        }
    TIFFClose(tif);
}

class PageImageTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

} // namespace

// Our own Group 4 and the layouts other writers use decode alike and go back in kind.
TEST_F(PageImageTest, BilevelPagesStayOneBitAndGoBackInKind)
{
    const QImage large = testDrawing(QSize(2001, 1415));
    writeBilevelTiff(large, path("g4.tif"), 300);
    const PageImage g4 = PageImage::load(path("g4.tif"));
    EXPECT_TRUE(g4.isBilevel());
    EXPECT_EQ(g4.dpiY(), 300);
    EXPECT_LE(g4.byteCount(), (2001LL / 8 + 4) * 1415); // a bit a pixel, not a byte
    expectSamePixels(g4.image(), large);
    // Written in strips, the last one short, decoded on several threads; libtiff on its own
    // and Qt read it too.
    const TiffTags written = tiffTags(path("g4.tif"));
    EXPECT_EQ(written.strips.size(), 3);
    EXPECT_TRUE(written.decodes);
    expectSamePixels(QImageReader(path("g4.tif")).read(), large);

    const QImage drawing = testDrawing(QSize(101, 75));
    writeTiledBilevel(path("tiles.tif"), drawing);
    PageImage page = PageImage::load(path("tiles.tif"));
    ASSERT_TRUE(page.isBilevel());
    expectSamePixels(page.image(), drawing);
    page.save(path("tiles.tif")); // back in kind: Group 4, 0 as black
    const TiffTags tags = tiffTags(path("tiles.tif"));
    EXPECT_EQ(std::pair(tags.compression, tags.photometric),
              std::pair(COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK));
    expectSamePixels(PageImage::load(path("tiles.tif")).image(), drawing);
}

TEST_F(PageImageTest, RenderingReducesToGreyRepeatsWhenEnlargedAndJoinsSeamlessly)
{
    // Every box, wherever its edges fall within the bytes of a row, is the exact share of
    // black in it, counted here pixel by pixel.
    const QImage drawing = testDrawing(QSize(157, 119));
    const PageImage drawn = PageImage::fromImage(drawing, 300);
    for (Scale scale : {Scale::percent(33), Scale{97, 157}, Scale::percent(2), Scale{1, 70}}) {
        SCOPED_TRACE(testing::Message() << scale.num << "/" << scale.den);
        const QImage reduced = drawn.render(QRect(QPoint(0, 0), drawn.zoomedSize(scale)), scale);
        auto edge = [&](int i, int limit) { return int(std::min<qint64>(limit, i * scale.den / scale.num)); };
        int wrong = 0;
        for (int j = 0; j < reduced.height(); ++j)
            for (int i = 0; i < reduced.width(); ++i) {
                int black = 0, pixels = 0;
                for (int y = edge(j, 119); y < edge(j + 1, 119); ++y)
                    for (int x = edge(i, 157); x < edge(i + 1, 157); ++x, ++pixels)
                        black += drawing.pixelIndex(x, y);
                wrong += reduced.constScanLine(j)[i] != 255 - (255 * black + pixels / 2) / pixels;
            }
        EXPECT_EQ(wrong, 0);
    }
    // From 100 % on each pixel is repeated, not blurred.
    EXPECT_EQ(drawn.render(QRect(0, 0, 314, 238), 200), greyOf(drawing).scaled(314, 238));

    // The view renders only what is exposed, strip by strip; the strips must join seamlessly,
    // at percents and at the fractions a fit to a window gives.
    for (const PageImage &page : {PageImage::fromImage(testDrawing(QSize(157, 119)), 300),
                                  PageImage::fromImage(testGreyDrawing(QSize(157, 119)), 300)}) {
        for (Scale scale : {Scale::percent(33), Scale::percent(150), Scale{97, 157}}) {
            SCOPED_TRACE(testing::Message() << scale.num << "/" << scale.den);
            const QSize size = page.zoomedSize(scale);
            const QImage whole = page.render(QRect(QPoint(0, 0), size), scale);
            const QRect part(size.width() / 3, size.height() / 4, size.width() / 2 + 1, size.height() / 2);
            EXPECT_EQ(page.render(part, scale), whole.copy(part));
            EXPECT_EQ(page.render(QRect(size.width() - 5, 0, 50, 3), scale).size(), QSize(5, 3));
        }
        EXPECT_EQ(page.zoomedSize(Scale{97, 157}).width(), 97); // a fitted side fits to the pixel
    }
    // A sheet large enough to be held in huge pages and reduced on two threads: read back
    // as written, and joined at the threads' seam as well.
    const QImage drawn4801 = testDrawing(QSize(4801, 3601));
    writeBilevelTiff(drawn4801, path("sheet.tif"), 400);
    const PageImage sheet = PageImage::load(path("sheet.tif"));
    EXPECT_EQ(sheet.image(), drawn4801);
    const Scale eighth{1, 8};
    const QRect part(200, 112, 301, 225); // across the middle row
    EXPECT_EQ(sheet.render(part, eighth),
              sheet.render(QRect(QPoint(0, 0), sheet.zoomedSize(eighth)), eighth).copy(part));
    EXPECT_TRUE(PageImage().render(QRect(0, 0, 10, 10), 100).isNull());
}

TEST_F(PageImageTest, TurnedPagesGoBackInTheirOwnKind)
{
    for (QSize size : {QSize(9, 17), QSize(8, 1)}) { // rows ending inside a byte, and one row
        const QImage drawing = testDrawing(size);
        PageImage page = PageImage::fromImage(drawing, 200);
        page.rotateLeft();
        expectSamePixels(page.image(), greyOf(drawing).transformed(QTransform().rotate(-90)));
        page.rotateRight();
        page.rotateRight();
        expectSamePixels(page.image(), turnedRight(drawing));
    }
    const QImage mono = testDrawing();
    const QImage grey = testGreyDrawing();
    writeBilevelTiff(mono, path("g4.tif"), 400);
    writeTiff(grey, path("lzw.tif"), {COMPRESSION_LZW, false, 150, 300}); // resolution turns too
    ASSERT_TRUE(mono.save(path("mono.bmp"), "bmp"));
    ASSERT_TRUE(grey.save(path("grey.png"), "png"));
    ASSERT_TRUE(grey.save(path("grey.jpg"), "jpeg", 97));
    for (const QString name : {"g4.tif", "lzw.tif", "mono.bmp", "grey.png"}) {
        SCOPED_TRACE(name.toStdString());
        const QImage drawing = name.contains(u"g4") || name.contains(u"mono") ? mono : grey;
        const TiffTags before = name.endsWith(u"tif") ? tiffTags(path(name)) : TiffTags();
        PageImage page = PageImage::load(path(name));
        page.rotateRight();
        page.save(path(name));
        QImageReader reader(path(name));
        EXPECT_EQ(reader.format(),
                  name.endsWith(u"tif") ? QByteArray("tiff") : QFileInfo(name).suffix().toLatin1());
        const QImage back = reader.read();
        EXPECT_EQ(back.depth(), drawing.depth());
        expectSamePixels(back, turnedRight(drawing));
        if (name.endsWith(u"tif")) {
            const TiffTags after = tiffTags(path(name));
            EXPECT_EQ(after.compression, before.compression);
            EXPECT_FLOAT_EQ(after.xres, float(name == "lzw.tif" ? 300 : 400));
        }
    }
    // JPEG is re-encoded, but at a quality that leaves the drawing as it was.
    PageImage jpeg = PageImage::load(path("grey.jpg"));
    const QImage decoded = greyOf(QImage(path("grey.jpg"))).transformed(QTransform().rotate(90));
    jpeg.rotateRight();
    jpeg.save(path("grey.jpg"));
    const QImage back = greyOf(QImage(path("grey.jpg")));
    ASSERT_EQ(back.size(), decoded.size());
    EXPECT_LT(meanDifference(back, decoded), 1.5);
}

// A JPEG wanted small is decoded small, yet stands for the whole page: it draws like the
// whole one, says when a zoom needs more, and is never written over its file.
TEST_F(PageImageTest, AJpegDecodedSmallDrawsLikeTheWholeAndIsNeverWritten)
{
    ASSERT_TRUE(testGreyDrawing(QSize(1203, 901)).save(path("grey.jpg"), "jpeg", 95));
    const QByteArray original = fileBytes(path("grey.jpg"));
    const Scale fit{300, 1203}; // a quarter: decoded at 2/8
    QSize asked;
    PageImage small = PageImage::load(path("grey.jpg"), [&](QSize size) {
        asked = size;
        return fit;
    });
    const PageImage whole = PageImage::load(path("grey.jpg"));
    EXPECT_EQ(asked, QSize(1203, 901));
    ASSERT_TRUE(small.isReduced());
    EXPECT_LE(small.byteCount(), whole.byteCount() / 8);
    EXPECT_EQ(small.size(), whole.size());
    EXPECT_FALSE(small.needsWhole(fit));
    EXPECT_TRUE(small.needsWhole(Scale::percent(50)));
    const QRect view(QPoint(0, 0), whole.zoomedSize(fit));
    const QImage a = small.render(view, fit), b = whole.render(view, fit);
    ASSERT_EQ(a.size(), b.size());
    // libjpeg's reduced transform softens edges, so the two differ a little; but they line
    // up: moved by a pixel either way, the difference only grows.
    EXPECT_LT(meanDifference(a, b), 8.0);
    for (int dx : {-1, 0, 1})
        for (int dy : {-1, 0, 1})
            EXPECT_TRUE(!(dx || dy) || meanDifference(a, b) < meanDifference(a, b, dx, dy))
                << dx << "," << dy;

    small.rotateRight();
    EXPECT_EQ(small.size(), QSize(901, 1203));
    EXPECT_EQ(errorNumber([&] { small.save(path("grey.jpg")); }), 75);
    EXPECT_EQ(fileBytes(path("grey.jpg")), original);
}

TEST_F(PageImageTest, WritingBackTheFirstPageOfABookKeepsTheOthersAsStored)
{
    const QImage first = testDrawing();
    writeTiffPages(path("book.tif"), {{first, 400},
                                      {testGreyDrawing(QSize(157, 119)), 150, COMPRESSION_JPEG},
                                      {testDrawing(QSize(64, 40)), 300}});
    const TiffTags before[] = {tiffTags(path("book.tif"), 1), tiffTags(path("book.tif"), 2)};
    ASSERT_EQ(before[0].pages, 3);

    PageImage page = PageImage::load(path("book.tif"));
    expectSamePixels(page.image(), first); // the first page is the one shown
    page.rotateRight();
    page.save(path("book.tif"));
    EXPECT_EQ(tiffTags(path("book.tif")).pages, 3);
    expectSamePixels(PageImage::load(path("book.tif")).image(), turnedRight(first));
    for (int i : {1, 2}) {
        SCOPED_TRACE(i);
        const TiffTags after = tiffTags(path("book.tif"), i);
        EXPECT_EQ(after.stored, before[i - 1].stored);
        EXPECT_EQ(after.compression, before[i - 1].compression);
        EXPECT_EQ(std::pair(after.width, after.xres), std::pair(before[i - 1].width, before[i - 1].xres));
        EXPECT_TRUE(after.decodes); // the JPEG page kept its tables
    }

    // A book whose chain of pages breaks off: what is behind the break cannot be kept, so
    // nothing is written; written elsewhere as a TIFF of its own, the page stands alone.
    TIFF *tif = TIFFOpen(QFile::encodeName(path("book.tif")).constData(), "r");
    ASSERT_TRUE(tif && TIFFSetDirectory(tif, 2));
    const auto cut = static_cast<qsizetype>(TIFFCurrentDirOffset(tif)) + 10; // inside the third page's tags
    TIFFClose(tif);
    writeBytes(path("broken.tif"), fileBytes(path("book.tif")).left(cut));
    PageImage broken = PageImage::load(path("broken.tif"));
    broken.rotateRight();
    EXPECT_EQ(errorNumber([&] { broken.save(path("broken.tif")); }), PageErr::OtherPagesAtRisk);
    EXPECT_EQ(fileBytes(path("broken.tif")).size(), cut);
    broken.save(path("alone.tif"), 1);
    EXPECT_EQ(tiffTags(path("alone.tif")).pages, 1);
}

TEST_F(PageImageTest, SavedAsTiffIsLosslessAndArchival)
{
    ASSERT_TRUE(testGreyDrawing().save(path("grey.jpg"), "jpeg", 97));
    PageImage page = PageImage::load(path("grey.jpg"));
    page.save(path("grey.tif"), 1);
    const TiffTags tags = tiffTags(path("grey.tif"));
    EXPECT_EQ(std::pair(tags.bits, tags.samples), std::pair(8, 1));
    EXPECT_TRUE(tags.compression == COMPRESSION_LZW || tags.compression == COMPRESSION_ADOBE_DEFLATE);
    expectSamePixels(PageImage::load(path("grey.tif")).image(), page.image());

    EXPECT_EQ(errorNumber([&] { page.save(path("x.tif"), 2); }), 5);
}

TEST_F(PageImageTest, FilesThatAreNoPageFailCleanly)
{
    EXPECT_EQ(errorNumber([&] { PageImage::load(path("none.tif")); }), 53);
    EXPECT_EQ(errorNumber([&] { PageImage::load(m_dir.path()); }), 321);

    writeBilevelTiff(testDrawing(QSize(800, 600)), path("whole.tif"), 200);
    const QByteArray tiff = fileBytes(path("whole.tif"));
    ASSERT_TRUE(testGreyDrawing().save(path("whole.jpg"), "jpeg"));
    const QByteArray jpeg = fileBytes(path("whole.jpg"));
    // A tiny bilevel TIFF whose header claims a sheet of 100000 x 100000 pixels.
    TIFF *tif = TIFFOpen(QFile::encodeName(path("claims.tif")).constData(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 100000);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 100000);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 100000);
    TIFFWriteRawStrip(tif, 0, const_cast<char *>("\0\0\0\0"), 4);
    TIFFClose(tif);

    const QList<std::pair<QString, QByteArray>> damaged = {
        {"empty.tif", {}},
        {"half.tif", tiff.left(tiff.size() / 2)},
        {"half.jpg", jpeg.left(jpeg.size() / 2)},
        {"tiffish.jpg", QByteArray("II*\0", 4) + QByteArray(40, '\xff')},
        // A few bytes that claim a sheet: refused at the header, before any memory.
        {"claims.tif", fileBytes(path("claims.tif"))},
    };
    for (const auto &[name, bytes] : damaged) {
        SCOPED_TRACE(name.toStdString());
        writeBytes(path(name), bytes);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(errorNumber([&] { PageImage::load(path(name)); }), 321);
        EXPECT_LT(clock.elapsed(), 500);
    }

    // One strip of several wiped out: the page is refused, whichever thread met it.
    QByteArray wiped = tiff;
    const auto [offset, bytes] = tiffTags(path("whole.tif")).strips.value(0);
    ASSERT_GT(bytes, 0u);
    wiped.replace(qsizetype(offset), qsizetype(bytes), QByteArray(qsizetype(bytes), '\0'));
    writeBytes(path("wiped.tif"), wiped);
    EXPECT_EQ(errorNumber([&] { PageImage::load(path("wiped.tif")); }), 321);

    // Scrambled Group 4 data with the directory intact: refused or decoded, never a crash.
    QByteArray scrambled = tiff;
    for (qsizetype i = 16; i < scrambled.size() / 2; i += 7)
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5a);
    writeBytes(path("scrambled.tif"), scrambled);
    const int number =
        errorNumber([&] { EXPECT_EQ(PageImage::load(path("scrambled.tif")).size(), QSize(800, 600)); });
    EXPECT_TRUE(number == 0 || number == 321) << number;
}

TEST_F(PageImageTest, AFileThatCannotBeWrittenStaysAsItWas)
{
    writeBilevelTiff(testDrawing(QSize(900, 700)), path("page.tif"), 200);
    const QByteArray original = fileBytes(path("page.tif"));
    PageImage page = PageImage::load(path("page.tif"));
    page.rotateRight();
    EXPECT_EQ(errorNumber([&] { page.save(path("no/such/folder/page.tif")); }), 75);

    // The disk fills up half way through: the old file is untouched and no scrap is left.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 2048;
    setrlimit(RLIMIT_FSIZE, &small);
    const int number = errorNumber([&] { page.save(path("page.tif")); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(number, 75);
    EXPECT_EQ(fileBytes(path("page.tif")), original);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("page.tif")});

    if (geteuid() == 0)
        return; // permissions do not bind root
    // A write-protected file is not replaced, though its folder would allow it.
    QFile::setPermissions(path("page.tif"), QFile::ReadOwner);
    EXPECT_EQ(errorNumber([&] { page.save(path("page.tif")); }), 75);
    EXPECT_EQ(fileBytes(path("page.tif")), original);
}
