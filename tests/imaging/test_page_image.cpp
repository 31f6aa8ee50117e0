#include "support/page_files.h"

#include "imaging/page_image.h"
#include "imaging/tiff_io.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>

#include <tiffio.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace zumen;

namespace {

class PageImageTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // A bilevel TIFF written with libtiff directly, in layouts our own writer never produces.
    QString libtiffBilevel(const QString &name, const QImage &mono, int compression, bool minIsBlack,
                           bool tiled)
    {
        const QString file = path(name);
        TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "w");
        EXPECT_TRUE(tif);
        const auto w = static_cast<uint32_t>(mono.width()), h = static_cast<uint32_t>(mono.height());
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, minIsBlack ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE);
        const int rowBytes = (mono.width() + 7) / 8;
        auto row = [&](int y, uchar *out, int bytes) {
            for (int i = 0; i < bytes; ++i) {
                const uchar v = i < rowBytes && y < mono.height() ? mono.constScanLine(y)[i] : 0;
                out[i] = minIsBlack ? static_cast<uchar>(~v) : v;
            }
        };
        if (tiled) {
            const uint32_t tw = 32, tl = 16;
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, tw);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, tl);
            std::vector<uchar> tile(TIFFTileSize(tif));
            std::vector<uchar> line(static_cast<std::size_t>(rowBytes + 8));
            for (uint32_t ty = 0; ty < h; ty += tl)
                for (uint32_t tx = 0; tx < w; tx += tw) {
                    for (uint32_t r = 0; r < tl; ++r) {
                        row(static_cast<int>(ty + r), line.data(), rowBytes + 8);
                        std::memcpy(tile.data() + r * tw / 8, line.data() + tx / 8, tw / 8);
                    }
                    TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
                }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 7); // many strips
            std::vector<uchar> line(static_cast<std::size_t>(rowBytes));
            for (uint32_t y = 0; y < h; ++y) {
                row(static_cast<int>(y), line.data(), rowBytes);
                TIFFWriteScanline(tif, line.data(), y, 0);
            }
        }
        TIFFClose(tif);
        return file;
    }

    QTemporaryDir m_dir;
};

void expectSamePixels(const QImage &actual, const QImage &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    const QImage a = greyOf(actual), e = greyOf(expected);
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        differing +=
            std::memcmp(a.constScanLine(y), e.constScanLine(y), static_cast<std::size_t>(a.width())) != 0;
    EXPECT_EQ(differing, 0) << "rows that differ";
}

double meanDifference(const QImage &a, const QImage &b)
{
    const QImage ga = greyOf(a), gb = greyOf(b);
    double sum = 0;
    for (int y = 0; y < ga.height(); ++y)
        for (int x = 0; x < ga.width(); ++x)
            sum += std::abs(ga.constScanLine(y)[x] - gb.constScanLine(y)[x]);
    return sum / (ga.width() * ga.height());
}

} // namespace

// Our own Group 4 and the layouts other writers use decode alike and go back in kind.
TEST_F(PageImageTest, BilevelPagesStayOneBitAndGoBackInKind)
{
    const QImage large = testDrawing(QSize(2001, 1415));
    writeBilevelTiff(large, path("g4.tif"), 300);
    const PageImage g4 = PageImage::load(path("g4.tif"));
    EXPECT_TRUE(g4.isBilevel());
    EXPECT_EQ(g4.dpiX(), 300);
    EXPECT_EQ(g4.dpiY(), 300);
    // One bit a pixel plus row padding, nowhere near a byte a pixel.
    EXPECT_LE(g4.byteCount(), (2001LL / 8 + 4) * 1415);
    expectSamePixels(g4.image(), large);

    const QImage drawing = testDrawing(QSize(101, 75));
    struct Case {
        const char *name;
        int compression;
        bool minIsBlack, tiled;
    };
    for (const Case c : {Case{"strips_packbits.tif", COMPRESSION_PACKBITS, false, false},
                         Case{"strips_none_black.tif", COMPRESSION_NONE, true, false},
                         Case{"tiles_lzw.tif", COMPRESSION_LZW, false, true},
                         Case{"tiles_g4_black.tif", COMPRESSION_CCITTFAX4, true, true}}) {
        SCOPED_TRACE(c.name);
        const QString file =
            libtiffBilevel(QString::fromLatin1(c.name), drawing, c.compression, c.minIsBlack, c.tiled);
        PageImage page = PageImage::load(file);
        ASSERT_TRUE(page.isBilevel());
        expectSamePixels(page.image(), drawing);
        // Written back in kind: same compression and the same sense of black.
        page.save(path("again.tif"));
        const TiffTags tags = tiffTags(path("again.tif"));
        EXPECT_EQ(tags.compression, c.compression);
        EXPECT_EQ(tags.photometric, c.minIsBlack ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE);
        expectSamePixels(PageImage::load(path("again.tif")).image(), drawing);
    }
}

TEST_F(PageImageTest, ReducedBilevelKeepsThinLinesAsGrey)
{
    QImage mono(64, 48, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int y = 0; y < 48; ++y)
        mono.setPixel(21, y, 1); // a vertical line one pixel wide
    for (int x = 0; x < 64; ++x)
        mono.setPixel(x, 30, 1); // and a horizontal one
    const PageImage page = PageImage::fromImage(mono, 400);

    const QImage quarter = page.render(QRect(0, 0, 16, 12), 25);
    ASSERT_EQ(quarter.size(), QSize(16, 12));
    EXPECT_EQ(quarter.format(), QImage::Format_Grayscale8);
    const int onLine = qGray(quarter.pixel(5, 2));
    EXPECT_GT(onLine, 100);
    EXPECT_LT(onLine, 230);                        // a quarter of the box is black: grey
    EXPECT_EQ(qGray(quarter.pixel(4, 2)), 255);    // beside it, white
    EXPECT_LT(qGray(quarter.pixel(5, 7)), onLine); // the crossing is darker than the line
    EXPECT_LT(qGray(quarter.pixel(10, 7)), 230);   // the horizontal line too

    // From 100 % on, pixels are repeated, not blurred.
    const QImage twice = page.render(QRect(40, 0, 8, 4), 200);
    EXPECT_EQ(qGray(twice.pixel(1, 0)), 255);
    EXPECT_EQ(qGray(twice.pixel(2, 0)), 0);
    EXPECT_EQ(qGray(twice.pixel(3, 3)), 0);
    EXPECT_EQ(qGray(twice.pixel(4, 0)), 255);
}

TEST_F(PageImageTest, PartsRenderedSeparatelyMatchTheWhole)
{
    // The view renders only what is exposed, strip by strip; the strips must join seamlessly.
    const QImage colour = testGreyDrawing(QSize(157, 119)).convertToFormat(QImage::Format_RGB32);
    for (const PageImage &page :
         {PageImage::fromImage(testDrawing(QSize(157, 119)), 300),
          PageImage::fromImage(testGreyDrawing(QSize(157, 119)), 300), PageImage::fromImage(colour, 300)}) {
        // Percents, and the fractions a fit to a window (97/157) or a 1.5 screen (3/8) give.
        for (Scale scale :
             {Scale::percent(7), Scale::percent(25), Scale::percent(33), Scale::percent(75),
              Scale::percent(100), Scale::percent(150), Scale::percent(300), Scale{97, 157}, Scale{3, 8}}) {
            SCOPED_TRACE(testing::Message() << scale.num << "/" << scale.den);
            const QSize size = page.zoomedSize(scale);
            const QImage whole = page.render(QRect(QPoint(0, 0), size), scale);
            ASSERT_EQ(whole.size(), size);
            const QRect part(size.width() / 3, size.height() / 4, size.width() / 2 + 1, size.height() / 2);
            EXPECT_EQ(page.render(part, scale), whole.copy(part));
            // Asking beyond the page gives only the part on it.
            EXPECT_EQ(page.render(QRect(size.width() - 5, 0, 50, 3), scale).size(), QSize(5, 3));
        }
        EXPECT_EQ(page.zoomedSize(Scale{97, 157}).width(), 97); // a fitted side fits to the pixel
    }
    EXPECT_TRUE(PageImage().render(QRect(0, 0, 10, 10), 100).isNull());
}

TEST_F(PageImageTest, QuarterTurnsMovePixels)
{
    for (QSize size : {QSize(203, 141), QSize(64, 40), QSize(9, 17), QSize(8, 1)}) {
        SCOPED_TRACE(size.width());
        const QImage drawing = testDrawing(size);
        PageImage page = PageImage::fromImage(drawing, 200);
        page.rotateRight();
        expectSamePixels(page.image(), turnedRight(drawing));
        page.rotateLeft();
        expectSamePixels(page.image(), drawing);
        page.rotateLeft();
        expectSamePixels(page.image(), greyOf(drawing).transformed(QTransform().rotate(-90)));
    }
    PageImage grey = PageImage::fromImage(testGreyDrawing(), 200);
    grey.rotateRight();
    expectSamePixels(grey.image(), turnedRight(testGreyDrawing()));
}

TEST_F(PageImageTest, TurnedPagesGoBackInTheirOwnKind)
{
    const QImage mono = testDrawing();
    const QImage grey = testGreyDrawing();
    writeBilevelTiff(mono, path("g4.tif"), 400);
    writeTiff(grey, path("lzw.tif"), {COMPRESSION_LZW, false, 150, 300}); // resolution turns too
    writeTiff(grey, path("deflate.tif"), {COMPRESSION_ADOBE_DEFLATE, false, 150, 150});
    ASSERT_TRUE(mono.save(path("mono.bmp"), "bmp"));
    ASSERT_TRUE(grey.save(path("grey.bmp"), "bmp"));
    ASSERT_TRUE(grey.save(path("grey.jpg"), "jpeg", 97));
    ASSERT_TRUE(mono.save(path("mono.png"), "png"));

    for (const QString name : {"g4.tif", "lzw.tif", "deflate.tif"}) {
        SCOPED_TRACE(name.toStdString());
        const TiffTags before = tiffTags(path(name));
        PageImage page = PageImage::load(path(name));
        page.rotateRight();
        page.save(path(name));
        const TiffTags after = tiffTags(path(name));
        EXPECT_EQ(after.compression, before.compression);
        EXPECT_EQ(after.bits, before.bits);
        EXPECT_EQ(std::pair(after.width, after.height), std::pair(before.height, before.width));
        EXPECT_FLOAT_EQ(after.xres, before.yres);
        expectSamePixels(PageImage::load(path(name)).image(), turnedRight(name == "g4.tif" ? mono : grey));
    }
    for (const QString name : {"mono.bmp", "grey.bmp", "mono.png"}) {
        SCOPED_TRACE(name.toStdString());
        PageImage page = PageImage::load(path(name));
        page.rotateRight();
        page.save(path(name));
        QImageReader reader(path(name));
        EXPECT_EQ(reader.format(), name.endsWith(u"bmp") ? "bmp" : "png");
        const QImage back = reader.read();
        EXPECT_EQ(back.depth(), name.startsWith(u"mono") ? 1 : 8);
        expectSamePixels(back, turnedRight(name.startsWith(u"mono") ? mono : grey));
    }
    // JPEG is re-encoded, but at a quality that leaves the drawing as it was.
    PageImage jpeg = PageImage::load(path("grey.jpg"));
    const QImage decoded = greyOf(QImage(path("grey.jpg")));
    jpeg.rotateRight();
    jpeg.save(path("grey.jpg"));
    QImageReader reader(path("grey.jpg"));
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage back = reader.read();
    ASSERT_EQ(back.size(), decoded.size().transposed());
    EXPECT_LT(meanDifference(back, decoded.transformed(QTransform().rotate(90))), 1.5);
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
    EXPECT_EQ(tiffTags(path("book.tif")).compression, COMPRESSION_CCITTFAX4);
    expectSamePixels(PageImage::load(path("book.tif")).image(), turnedRight(first));
    for (int i : {1, 2}) {
        SCOPED_TRACE(i);
        const TiffTags after = tiffTags(path("book.tif"), i);
        EXPECT_EQ(after.stored, before[i - 1].stored);
        EXPECT_EQ(after.compression, before[i - 1].compression);
        EXPECT_EQ(std::pair(after.width, after.height), std::pair(before[i - 1].width, before[i - 1].height));
        EXPECT_FLOAT_EQ(after.xres, before[i - 1].xres);
        EXPECT_TRUE(after.decodes); // the JPEG page kept its tables
    }

    // A book whose chain of pages breaks off: what is behind the break cannot be kept, so
    // nothing is written.
    TIFF *tif = TIFFOpen(QFile::encodeName(path("book.tif")).constData(), "r");
    ASSERT_TRUE(tif && TIFFSetDirectory(tif, 2));
    const auto cut = static_cast<qsizetype>(TIFFCurrentDirOffset(tif)) + 10; // inside the third page's tags
    TIFFClose(tif);
    writeBytes(path("broken.tif"), fileBytes(path("book.tif")).left(cut));
    PageImage broken = PageImage::load(path("broken.tif"));
    broken.rotateRight();
    EXPECT_EQ(errorNumber([&] { broken.save(path("broken.tif")); }), PageErr::OtherPagesAtRisk);
    EXPECT_EQ(fileBytes(path("broken.tif")).size(), cut);
    // Written elsewhere as a TIFF of its own, the page stands alone.
    broken.save(path("alone.tif"), 1);
    EXPECT_EQ(tiffTags(path("alone.tif")).pages, 1);
}

TEST_F(PageImageTest, SavedAsTiffIsLosslessAndArchival)
{
    PageImage scan = PageImage::fromImage(testDrawing(), 200);
    scan.save(path("scan.tif"), 0); // a page that never was a file goes out as TIFF
    EXPECT_EQ(tiffTags(path("scan.tif")).compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(scan.kind().format, "tiff");

    const QImage grey = testGreyDrawing();
    ASSERT_TRUE(grey.save(path("grey.jpg"), "jpeg", 97));
    PageImage page = PageImage::load(path("grey.jpg"));
    page.save(path("grey.tif"), 1);
    const TiffTags tags = tiffTags(path("grey.tif"));
    EXPECT_EQ(tags.bits, 8);
    EXPECT_EQ(tags.samples, 1);
    EXPECT_TRUE(tags.compression == COMPRESSION_LZW || tags.compression == COMPRESSION_ADOBE_DEFLATE);
    expectSamePixels(PageImage::load(path("grey.tif")).image(), page.image());

    EXPECT_EQ(errorNumber([&] { page.save(path("x.tif"), 2); }), 5);
    EXPECT_EQ(errorNumber([&] { PageImage().save(path("x.tif")); }), 481);
}

TEST_F(PageImageTest, FilesThatAreNoPageFailCleanly)
{
    EXPECT_EQ(errorNumber([&] { PageImage::load(path("none.tif")); }), 53);
    EXPECT_EQ(errorNumber([&] { PageImage::load(QString()); }), 53);
    EXPECT_EQ(errorNumber([&] { PageImage::load(m_dir.path()); }), 321);

    writeBilevelTiff(testDrawing(QSize(800, 600)), path("whole.tif"), 200);
    const QByteArray tiff = fileBytes(path("whole.tif"));
    ASSERT_TRUE(QImage(testGreyDrawing()).save(path("whole.jpg"), "jpeg"));
    ASSERT_TRUE(testGreyDrawing().save(path("whole.png"), "png"));
    const QByteArray jpeg = fileBytes(path("whole.jpg")), png = fileBytes(path("whole.png"));

    const QList<std::pair<QString, QByteArray>> damaged = {
        {"empty.tif", {}},
        {"text.tif", "not an image at all\r\n"},
        {"half.tif", tiff.left(tiff.size() / 2)},
        {"half.jpg", jpeg.left(jpeg.size() / 2)},
        {"half.png", png.left(png.size() / 2)},
        {"tiffish.jpg", QByteArray("II*\0", 4) + QByteArray(40, '\xff')},
        // A few hundred bytes that claim a sheet: refused at the header, before any memory.
        {"claims20000.jpg", jpegClaiming(QSize(20000, 20000))},
        {"claims65000.jpg", jpegClaiming(QSize(65000, 65000))},
        {"claims.tif", tiffClaiming(QSize(100000, 100000))},
    };
    for (const auto &[name, bytes] : damaged) {
        SCOPED_TRACE(name.toStdString());
        writeBytes(path(name), bytes);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(errorNumber([&] { PageImage::load(path(name)); }), 321);
        EXPECT_LT(clock.elapsed(), 500);
    }

    // Scrambled Group 4 data with the directory intact: refused or decoded, never a crash.
    QByteArray scrambled = tiff;
    for (qsizetype i = 16; i < scrambled.size() / 2; i += 7)
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5a);
    writeBytes(path("scrambled.tif"), scrambled);
    try {
        EXPECT_EQ(PageImage::load(path("scrambled.tif")).size(), QSize(800, 600));
    } catch (const NumberedError &e) {
        EXPECT_EQ(e.number(), 321);
    }
}

TEST_F(PageImageTest, AFileThatCannotBeWrittenStaysAsItWas)
{
    writeBilevelTiff(testDrawing(QSize(900, 700)), path("page.tif"), 200);
    const QByteArray original = fileBytes(path("page.tif"));
    PageImage page = PageImage::load(path("page.tif"));
    page.rotateRight();

    EXPECT_EQ(errorNumber([&] { page.save(path("no/such/folder/page.tif")); }), 75);
    EXPECT_EQ(errorNumber([&] { page.save(path("page.tif/inside.tif")); }), 75);

    // The disk fills up half way through: the old file is untouched and no scrap is left.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 2048;
    setrlimit(RLIMIT_FSIZE, &small);
    const int number = errorNumber([&] { page.save(path("page.tif")); });
    const int asPng = errorNumber([&] {
        PageImage png = PageImage::fromImage(testGreyDrawing(QSize(900, 700)), 100);
        png.save(path("page.tif"), 1);
    });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(number, 75);
    EXPECT_EQ(asPng, 75);
    EXPECT_EQ(fileBytes(path("page.tif")), original);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("page.tif")});

    if (geteuid() == 0)
        return; // permissions do not bind root
    QFile::setPermissions(path("page.tif"), QFile::ReadOwner);
    EXPECT_EQ(errorNumber([&] { page.save(path("page.tif")); }), 75);
    QFile::setPermissions(path("page.tif"), QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(errorNumber([&] { page.save(path("page.tif")); }), 75);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(fileBytes(path("page.tif")), original);
}
