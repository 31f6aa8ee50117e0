#include "db/archive.h"
#include "exchange/record_pdf.h"
#include "imaging/page_image.h"
#include "imaging/tiff_io.h"
#include "support/page_files.h"
#include "support/zumen_db_tool.h"
#include "tools/working_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace zumen;

namespace {

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Record 1: a bilevel A1 sheet at 200 dpi in one Group 4 strip (low bit first), a grey A4 JPEG
// at 150 dpi, an A4 drawing at 300 dpi turned to landscape by the viewer's rotation (written
// back in strips of 512 rows), and a small colour TIFF that states no resolution. Record 2: a
// page whose file is gone.
struct Folder {
    QTemporaryDir dir;
    QString scan = dir.filePath("scan");
    QString out = dir.filePath("out.pdf");
    qint64 bilevelBytes = 0;
    qint64 jpegBytes = 0;

    Folder()
    {
        WorkingFolder::init(dir.path());
        writeTiffPages(scan + "/sheet.tif", {{testDrawing(QSize(4678, 6622)), 200, 0}});
        QProcess::execute("tiffcp", {"-f", "lsb2msb", scan + "/sheet.tif", scan + "/a1.tif"});
        QFile::remove(scan + "/sheet.tif");
        QImage grey = testGreyDrawing(QSize(1240, 1754));
        grey.setDotsPerMeterX(5906); // 150 dpi
        grey.setDotsPerMeterY(5906);
        grey.save(scan + "/a4.jpg", "JPEG", 85);
        writeBilevelTiff(testDrawing(QSize(2480, 3508)), scan + "/turned.tif", 300);
        PageImage turned = PageImage::load(scan + "/turned.tif");
        turned.rotateRight();
        turned.save(scan + "/turned.tif");
        QImage colour(300, 200, QImage::Format_RGB32);
        colour.fill(qRgb(200, 30, 30));
        writeTiff(colour, scan + "/red.tif", {});
        bilevelBytes = QFileInfo(scan + "/a1.tif").size() + QFileInfo(scan + "/turned.tif").size();
        jpegBytes = QFileInfo(scan + "/a4.jpg").size();

        Database db = Database::open(dir.filePath("QV.MDB"));
        db.executeNative("INSERT INTO DT (ID, Str1) VALUES (1, 'A-1'), (2, 'A-2')");
        db.executeNative(
            "INSERT INTO PG (ID, Page, Dir, FileName) VALUES (1, 1, '_SCAN', 'a1.tif'), "
            "(1, 2, '_SCAN', 'a4.jpg'), (1, 3, '_SCAN', 'turned.tif'), (1, 4, '_SCAN', 'red.tif'), "
            "(2, 1, '_SCAN', 'a1.tif'), (2, 2, '_SCAN', 'gone.tif')");
    }
};

TEST(RecordPdf, PagesKeepTheirRealSizeAndBilevelPagesStayCompact)
{
    Folder folder;
    Archive archive(Database::open(folder.dir.filePath("QV.MDB")));
    archive.scanFolder = folder.scan;
    EXPECT_EQ(RecordPdf::write(archive, 1, folder.out).pages, 4);

    const QString info = run("pdfinfo", {"-f", "1", "-l", "4", folder.out});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+4\\n"))) << info.toStdString();
    const double expected[4][2] = {{4678 * 72 / 200.0, 6622 * 72 / 200.0},
                                   {1240 * 72 / 150.0, 1754 * 72 / 150.0},
                                   {3508 * 72 / 300.0, 2480 * 72 / 300.0},
                                   {300 * 72 / 200.0, 200 * 72 / 200.0}};
    QRegularExpressionMatchIterator sizes =
        QRegularExpression("Page\\s+(\\d) size:\\s+([\\d.]+) x ([\\d.]+) pts").globalMatch(info);
    int pages = 0;
    for (; sizes.hasNext(); ++pages) {
        const QRegularExpressionMatch m = sizes.next();
        const int page = m.captured(1).toInt() - 1;
        ASSERT_TRUE(page >= 0 && page < 4);
        EXPECT_NEAR(m.captured(2).toDouble(), expected[page][0], 1.0) << "page " << page + 1;
        EXPECT_NEAR(m.captured(3).toDouble(), expected[page][1], 1.0) << "page " << page + 1;
    }
    EXPECT_EQ(pages, 4);

    // The Group 4 pages go in as they are coded (the turned one strip by strip), the JPEG as its own data.
    EXPECT_LE(QFileInfo(folder.out).size(), folder.jpegBytes + folder.bilevelBytes + 8192);
    EXPECT_EQ(run("pdfimages", {"-list", "-f", "3", "-l", "3", folder.out}).count(" ccitt "), 5);

    // A reader draws the drawings as their files hold them (not inverted, mirrored or shifted):
    // a square across the diagonal line, at the page's own resolution.
    const QImage sources[] = {testDrawing(QSize(4678, 6622)),
                              PageImage::load(folder.scan + "/turned.tif").image()};
    const int pageOf[] = {1, 3}, dpiOf[] = {200, 300};
    for (int i = 0; i < 2; ++i) {
        const QImage &source = sources[i];
        const QPoint at(source.width() / 2 - 100, source.height() * 2 / 3 - 100);
        const QString page = QString::number(pageOf[i]), prefix = folder.dir.filePath("crop");
        run("pdftoppm",
            {"-gray", "-r", QString::number(dpiOf[i]), "-f", page, "-l", page, "-x", QString::number(at.x()),
             "-y", QString::number(at.y()), "-W", "200", "-H", "200", folder.out, prefix});
        const QImage shown(prefix + "-" + page + ".pgm");
        ASSERT_EQ(shown.size(), QSize(200, 200)) << "page " << page.toStdString();
        // A reader may place the picture a pixel off where the page size is not a whole number of
        // its pixels: a shown pixel is wrong when no source pixel next to it has its colour.
        int black = 0, shownBlack = 0, wrong = 0;
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) {
                const bool ink = qGray(shown.pixel(x, y)) < 128;
                black += source.pixelIndex(at.x() + x, at.y() + y);
                shownBlack += ink;
                bool near = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        near = near || (source.pixelIndex(at.x() + x + dx, at.y() + y + dy) == 1) == ink;
                wrong += !near;
            }
        }
        EXPECT_GT(black, 100) << "page " << page.toStdString();
        EXPECT_NEAR(shownBlack, black, black / 5) << "page " << page.toStdString();
        EXPECT_LT(wrong, 20) << "page " << page.toStdString();
    }
    // The turned drawing, written in strips of 512 rows, shown whole: every pixel as its file
    // holds it (within the reader's pixel of placement), with no seam where one strip meets the next.
    const QImage &turned = sources[1];
    run("pdftoppm", {"-gray", "-r", "300", "-f", "3", "-l", "3", folder.out, folder.dir.filePath("whole")});
    const QImage whole =
        QImage(folder.dir.filePath("whole-3.pgm")).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(whole.size(), turned.size());
    int wrong = 0;
    for (int y = 0; y < whole.height(); ++y) {
        for (int x = 0; x < whole.width(); ++x) {
            const bool ink = whole.constScanLine(y)[x] < 128;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = turned.valid(x + dx, y + dy) && (turned.pixelIndex(x + dx, y + dy) == 1) == ink;
            wrong += !near;
        }
    }
    EXPECT_EQ(wrong, 0);
    run("pdftoppm", {"-r", "10", "-f", "4", "-l", "4", folder.out, folder.dir.filePath("shown")});
    const QImage red(folder.dir.filePath("shown-4.ppm"));
    ASSERT_FALSE(red.isNull());
    EXPECT_GT(qRed(red.pixel(red.width() / 2, red.height() / 2)), 180);
    EXPECT_LT(qGreen(red.pixel(red.width() / 2, red.height() / 2)), 60);
}

TEST(RecordPdf, AMissingPageIsRefusedWithNothingWrittenUnlessSkipped)
{
    Folder folder;
    Archive archive(Database::open(folder.dir.filePath("QV.MDB")));
    archive.scanFolder = folder.scan;
    try {
        RecordPdf::write(archive, 2, folder.out);
        ADD_FAILURE() << "a missing page was not refused";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromStdString(e.what()).contains("gone.tif")) << e.what();
    }
    EXPECT_EQ(QDir(folder.dir.path()).entryList(QDir::Files | QDir::Hidden).filter(".pdf"), QStringList());

    const RecordPdf::Result skipped = RecordPdf::write(archive, 2, folder.out, {.skipMissing = true});
    EXPECT_EQ(skipped.pages, 1);
    EXPECT_EQ(skipped.skipped, QStringList{QDir(folder.scan).filePath("gone.tif")});
    EXPECT_THROW(RecordPdf::write(archive, 3, folder.dir.filePath("none.pdf")),
                 std::runtime_error); // no pages
}

TEST(RecordPdf, ZumenDbExportPdfExitCodes)
{
    Folder folder;
    const QString dir = folder.dir.path();
    const ToolRun written = zumenDb({"export-pdf", "1", folder.out, dir});
    EXPECT_EQ(written.exitCode, 0) << written.err.toStdString();
    EXPECT_EQ(written.out.trimmed(), QStringLiteral("4 ページを書き出しました。"));
    EXPECT_EQ(zumenDb({"export-pdf", "1", folder.out, dir}).exitCode, 1); // exists, no --force
    EXPECT_EQ(zumenDb({"export-pdf", "1", folder.out, dir, "--force"}).exitCode, 0);
    EXPECT_EQ(zumenDb({"export-pdf", "2", folder.dir.filePath("two.pdf"), dir}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(folder.dir.filePath("two.pdf")));
    EXPECT_EQ(zumenDb({"export-pdf", "2", folder.dir.filePath("two.pdf"), dir, "--skip-missing"}).exitCode,
              0);
    EXPECT_EQ(zumenDb({"export-pdf", "x", folder.out, dir}).exitCode, 2);
    EXPECT_EQ(zumenDb({"check", dir, "--skip-missing"}).exitCode, 2);
}

} // namespace
