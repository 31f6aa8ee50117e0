// Taking in a 10-page A3 PDF of vector lines (as CAD exports drawings): every page rendered at
// 300 dpi, found black and white and written as a Group 4 page file, beside the bare Poppler
// render of the same 10 pages at 300 dpi in the same run. "x_anchor" is ours / anchor.
#include "imaging/pdf_pages.h"
#include "support/bench.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <poppler-qt6.h>

using namespace zumen;

namespace {

constexpr int Pages = 10;
constexpr int Dpi = 300;

// A3 landscape sheets with a frame, a title block and a dense grid of lines.
void writeA3Pdf(const QString &path)
{
    QPdfWriter pdf(path);
    pdf.setResolution(600);
    pdf.setPageSize(QPageSize(QPageSize::A3));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins({});
    QPainter p(&pdf);
    for (int page = 0; page < Pages; ++page) {
        if (page)
            pdf.newPage();
        const QRect sheet = p.viewport().adjusted(240, 240, -240, -240);
        p.setPen(QPen(Qt::black, 8));
        p.drawRect(sheet);
        p.drawRect(sheet.right() - 4000, sheet.bottom() - 1200, 4000, 1200);
        p.setPen(QPen(Qt::black, 3));
        for (int x = sheet.left(); x < sheet.right(); x += 120 + page)
            p.drawLine(x, sheet.top(), sheet.right() - (x - sheet.left()) / 2, sheet.bottom());
        for (int y = sheet.top(); y < sheet.bottom(); y += 150)
            p.drawLine(sheet.left(), y, sheet.right(), y);
    }
}

void PdfImportA3(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString pdf = QDir(dir.path()).filePath(QStringLiteral("a3.pdf"));
    writeA3Pdf(pdf);

    const bench::Times anchor = bench::medianMicros([&] {
        const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(pdf);
        for (int i = 0; i < document->numPages(); ++i)
            benchmark::DoNotOptimize(document->page(i)->renderToImage(Dpi, Dpi));
    });
    bench::measure(
        state,
        [&] {
            writePdfPages(pdf, Dpi, [&](int i) {
                return QDir(dir.path()).filePath(QStringLiteral("SC%1.TIF").arg(i));
            });
        },
        anchor);
    state.counters["pages"] = Pages;
    // Group 4 keeps a black-and-white A3 page at tens of kilobytes; a grey or colour page would
    // be megabytes.
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(dir.path()).entryInfoList({QStringLiteral("*.TIF")}))
        bytes += file.size();
    state.counters["kb_per_page"] = static_cast<double>(bytes) / 1024.0 / Pages;
}
BENCHMARK(PdfImportA3)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
