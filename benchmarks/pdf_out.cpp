// A record of ten A1 400 dpi Group 4 pages written as one PDF, beside libtiff decoding the same
// ten files in the same run. Arg 0: the shared fixture as it is (one strip); arg 1: the same
// page as this program writes it (strips of 512 rows). Either way the coded strips go into the
// PDF unchanged. Counters give the PDF's size against the TIFFs'.
#include "db/archive.h"
#include "exchange/record_pdf.h"
#include "imaging/page_image.h"
#include "imaging/tiff_io.h"
#include "support/bench.h"
#include "tools/working_folder.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <memory>
#include <vector>

using namespace zumen;

namespace {

const QString A1 = bench::fixture(bench::A1Fixture);
constexpr int Pages = 10;

// libtiff alone: every strip of the page decoded into one buffer.
void decode(const QString &path)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return;
    const tmsize_t strip = TIFFStripSize(tif);
    std::vector<unsigned char> bits(static_cast<std::size_t>(strip) * TIFFNumberOfStrips(tif));
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
        TIFFReadEncodedStrip(tif, s,
                             bits.data() + static_cast<std::size_t>(s) * static_cast<std::size_t>(strip), -1);
    TIFFClose(tif);
}

void A1RecordToPdf(benchmark::State &state)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    const QString scan = dir.filePath(QStringLiteral("scan"));
    const QString first = scan + QStringLiteral("/page1.tif");
    if (state.range(0) == 0) {
        QFile::copy(A1, first);
    } else {
        const PageImage page = PageImage::load(A1);
        writeBilevelTiff(page.image(), first, page.dpiX());
    }
    qint64 tiffBytes = 0;
    QStringList files;
    QString rows;
    for (int i = 1; i <= Pages; ++i) {
        const QString file = scan + QStringLiteral("/page%1.tif").arg(i);
        if (i > 1)
            QFile::copy(first, file);
        files << file;
        tiffBytes += QFileInfo(file).size();
        rows += QStringLiteral("%1(1, %2, '_SCAN', 'page%2.tif')")
                    .arg(i > 1 ? QStringLiteral(", ") : QString())
                    .arg(i);
    }
    auto archive = std::make_unique<Archive>(Database::open(dir.filePath(QStringLiteral("QV.MDB"))));
    archive->db.executeNative(QStringLiteral("INSERT INTO DT (ID) VALUES (1)"));
    archive->db.executeNative(QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES ") + rows);
    archive->scanFolder = scan;
    const QString out = dir.filePath(QStringLiteral("record.pdf"));

    const bench::Times anchor = bench::medianMicros([&] {
        for (const QString &file : files)
            decode(file);
    });
    bench::measure(
        state, [&] { RecordPdf::write(*archive, 1, out, {.replace = true}); }, anchor);
    state.counters["pdf_MB"] = static_cast<double>(QFileInfo(out).size()) / 1e6;
    state.counters["tiff_MB"] = static_cast<double>(tiffBytes) / 1e6;
    state.counters["pdf_per_tiff"] =
        static_cast<double>(QFileInfo(out).size()) / static_cast<double>(tiffBytes);
}
BENCHMARK(A1RecordToPdf)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
