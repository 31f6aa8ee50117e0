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

// Compares a page as a reader shows it with its source from the point at. A reader may place the
// picture a pixel off where the page size is not a whole number of its pixels: a shown pixel is
// wrong when no source pixel next to it has its colour.
struct Compared {
    int black = 0, shownBlack = 0, wrong = 0;
};
Compared compare(const QImage &shown, const QImage &source, QPoint at)
{
    const QImage grey = shown.convertToFormat(QImage::Format_Grayscale8);
    Compared c;
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            const bool ink = grey.constScanLine(y)[x] < 128;
            const QPoint s = at + QPoint(x, y);
            c.black += source.pixelIndex(s);
            c.shownBlack += ink;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = source.valid(s.x() + dx, s.y() + dy) &&
                           (source.pixelIndex(s.x() + dx, s.y() + dy) == 1) == ink;
            c.wrong += !near;
        }
    }
    return c;
}

TEST(RecordPdf, PagesKeepTheirRealSizeAndBilevelPagesStayCompact)
{
    Folder folder;
    Archive archive(Database::open(folder.dir.filePath("QV.MDB")));
    archive.scanFolder = folder.scan;
    EXPECT_EQ(RecordPdf::write(archive, 1, folder.out).pages, 4);

    const QString info = run("pdfinfo", {"-f", "1", "-l", "4", folder.out});
    const QSizeF expected[] = {{4678 * 72 / 200.0, 6622 * 72 / 200.0},
                               {1240 * 72 / 150.0, 1754 * 72 / 150.0},
                               {3508 * 72 / 300.0, 2480 * 72 / 300.0},
                               {300 * 72 / 200.0, 200 * 72 / 200.0}};
    for (int page = 1; page <= 4; ++page) {
        const QRegularExpressionMatch m =
            QRegularExpression(QString("Page\\s+%1 size:\\s+([\\d.]+) x ([\\d.]+) pts").arg(page))
                .match(info);
        ASSERT_TRUE(m.hasMatch()) << info.toStdString();
        EXPECT_NEAR(m.captured(1).toDouble(), expected[page - 1].width(), 1.0) << "page " << page;
        EXPECT_NEAR(m.captured(2).toDouble(), expected[page - 1].height(), 1.0) << "page " << page;
    }

    // The Group 4 pages go in as they are coded (the turned one strip by strip), the JPEG as its own data.
    EXPECT_LE(QFileInfo(folder.out).size(), folder.jpegBytes + folder.bilevelBytes + 8192);
    EXPECT_EQ(run("pdfimages", {"-list", "-f", "3", "-l", "3", folder.out}).count(" ccitt "), 5);

    // A reader draws the drawings as their files hold them (not inverted, mirrored or shifted), at
    // the page's own resolution: a square across the A1 sheet's diagonal line, and the whole turned
    // page, written in strips of 512 rows, with no seam where one strip meets the next.
    const auto shown = [&](int page, int dpi, const QStringList &area) {
        const QString number = QString::number(page), prefix = folder.dir.filePath("shown");
        run("pdftoppm", QStringList{"-gray", "-r", QString::number(dpi), "-f", number, "-l", number} + area +
                            QStringList{folder.out, prefix});
        return QImage(prefix + "-" + number + ".pgm");
    };
    const QImage sheet = testDrawing(QSize(4678, 6622));
    const QPoint at(sheet.width() / 2 - 100, sheet.height() * 2 / 3 - 100);
    const QImage crop = shown(
        1, 200, {"-x", QString::number(at.x()), "-y", QString::number(at.y()), "-W", "200", "-H", "200"});
    ASSERT_EQ(crop.size(), QSize(200, 200));
    const Compared a1 = compare(crop, sheet, at);
    EXPECT_GT(a1.black, 100);
    EXPECT_NEAR(a1.shownBlack, a1.black, a1.black / 5);
    EXPECT_LT(a1.wrong, 20);
    const QImage turned = PageImage::load(folder.scan + "/turned.tif").image();
    const QImage whole = shown(3, 300, {});
    ASSERT_EQ(whole.size(), turned.size());
    const Compared strips = compare(whole, turned, {});
    EXPECT_NEAR(strips.shownBlack, strips.black, strips.black / 5);
    EXPECT_EQ(strips.wrong, 0);
    run("pdftoppm", {"-r", "10", "-f", "4", "-l", "4", folder.out, folder.dir.filePath("red")});
    const QImage red(folder.dir.filePath("red-4.ppm"));
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
