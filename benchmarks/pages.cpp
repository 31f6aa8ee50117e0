// What the user waits for in the page viewer on real-size sheets, each beside the bare library
// operation it cannot beat, measured in turn in the same iterations so that both see the same
// machine: the fitted first paint of an A1 Group 4 page, of an A3 grey JPEG and of an A0
// 600 dpi bilevel page (made here from the A1; as this program writes it, and in one strip),
// a zoom change on the shown A1 page, and a quarter turn written back. Times are medians of
// the iterations; "ratio" is ours / anchor. Uses the shared fixtures and skips what is not there.
#include "imaging/page_image.h"
#include "imaging/tiff_io.h"
#include "pages/pain.h"
#include "support/bench.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <memory>
#include <vector>

#include <sys/mman.h>

using namespace zumen;
using bench::median;

namespace {

const QString A1 = bench::fixture(bench::A1Fixture);
const QString A3 = bench::fixture(bench::A3Fixture);
const QSize View(1600, 1000);

// Wall time of a step; cpu gets the processor time of the whole process (every thread), which
// other work on a shared machine disturbs less.
double seconds(const std::function<void()> &step, double *cpu = nullptr)
{
    const std::clock_t used = std::clock();
    QElapsedTimer clock;
    clock.start();
    step();
    const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (cpu)
        *cpu = static_cast<double>(std::clock() - used) / CLOCKS_PER_SEC;
    return wall;
}

// Runs ours and the anchor alternately; the iteration time is ours.
void versus(benchmark::State &state, const std::function<void()> &ours, const std::function<void()> &anchor)
{
    std::vector<double> own, bare, ownCpu, bareCpu;
    for (auto _ : state) {
        double cpu = 0;
        bare.push_back(seconds(anchor, &cpu));
        bareCpu.push_back(cpu);
        own.push_back(seconds(ours, &cpu));
        ownCpu.push_back(cpu);
        state.SetIterationTime(own.back());
    }
    state.counters["ours_ms"] = median(own) * 1e3;
    state.counters["anchor_ms"] = median(bare) * 1e3;
    state.counters["ratio"] = median(own) / median(bare);
    state.counters["ratio_cpu"] = median(ownCpu) / median(bareCpu);
}

// libtiff alone: every strip of the first page decoded into one buffer. Fresh memory costs
// its first touch (about 10 us a 4 KB page on this machine); with hugePages the buffer is
// advised into 2 MB pages, as the viewer's page is, leaving the decoding alone.
void bareDecode(const QString &path, bool hugePages = false)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return;
    constexpr std::size_t Huge = 2u << 20;
    const std::size_t bytes = static_cast<std::size_t>(TIFFStripSize(tif)) * TIFFNumberOfStrips(tif);
    const std::size_t rounded = (bytes + Huge - 1) / Huge * Huge;
    // Left uninitialised, as the page's own memory is.
    const std::unique_ptr<unsigned char, decltype(&std::free)> bits(
        static_cast<unsigned char *>(hugePages ? std::aligned_alloc(Huge, rounded) : std::malloc(bytes)),
        std::free);
    if (hugePages)
        madvise(bits.get(), rounded, MADV_HUGEPAGE);
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
        TIFFReadEncodedStrip(tif, s, bits.get() + static_cast<std::size_t>(s) * TIFFStripSize(tif), -1);
    benchmark::DoNotOptimize(bits.get());
    TIFFClose(tif);
}

// libtiff alone writing a bilevel page (1 = black) as Group 4 in a single strip, the way
// scanners and other programs write them.
void writeOneStrip(const QImage &bits, const QString &path)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, bits.width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, bits.height());
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, bits.height());
    const qsizetype row = (bits.width() + 7) / 8;
    std::vector<unsigned char> strip(static_cast<std::size_t>(row * bits.height()));
    for (int y = 0; y < bits.height(); ++y)
        std::memcpy(strip.data() + y * row, bits.constScanLine(y), static_cast<std::size_t>(row));
    TIFFWriteEncodedStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    TIFFClose(tif);
}

// The viewer as the user gets it: a page asked for, decoded, and the fitted view painted.
struct Viewer {
    Viewer()
    {
        pain.resize(View);
        pain.show();
        pain.fitToWindow();
    }
    void firstPaint(const QString &path)
    {
        pain.setImage(path);
        pain.display();
        pain.waitForPage();
        benchmark::DoNotOptimize(pain.viewport()->grab());
    }
    Pain pain;
};

void A1FirstPaintFitted(benchmark::State &state)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    Viewer viewer;
    versus(
        state,
        [&] {
            viewer.pain.clearDisplay();
            viewer.firstPaint(A1);
        },
        [] { bareDecode(A1); });
    state.counters["percent"] = viewer.pain.zoom();
}
BENCHMARK(A1FirstPaintFitted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// What showing a page costs the GUI thread: asking for it; the decoding is elsewhere.
void A1DisplayReturns(benchmark::State &state)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    Viewer viewer;
    std::vector<double> times;
    for (auto _ : state) {
        times.push_back(seconds([&] {
            viewer.pain.setImage(A1);
            viewer.pain.display();
        }));
        state.SetIterationTime(times.back());
        viewer.pain.waitForPage();
    }
    state.counters["ours_us"] = median(times) * 1e6;
}
BENCHMARK(A1DisplayReturns)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(15);

// From 100 % to the zoom given (0: the whole page), on the A1 page shown, to the view painted.
void A1ZoomChange(benchmark::State &state)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    Viewer viewer;
    viewer.firstPaint(A1);
    const int percent = static_cast<int>(state.range(0));
    std::vector<double> times;
    for (auto _ : state) {
        viewer.pain.setZoom(100);
        benchmark::DoNotOptimize(viewer.pain.viewport()->grab());
        times.push_back(seconds([&] {
            if (percent == 0)
                viewer.pain.fitToWindow();
            else
                viewer.pain.setZoom(percent);
            benchmark::DoNotOptimize(viewer.pain.viewport()->grab());
        }));
        state.SetIterationTime(times.back());
    }
    state.counters["ours_ms"] = median(times) * 1e3;
}
BENCHMARK(A1ZoomChange)->Arg(25)->Arg(50)->Arg(0)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond);

// A quarter turn written back in kind, against libtiff writing the turned bits as Group 4.
void A1RotateWrite(benchmark::State &state)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("ours.tif"));
    const QString bare = dir.filePath(QStringLiteral("bare.tif"));
    QFile::copy(A1, ours);
    PageImage page = PageImage::load(ours);
    PageImage turned = page;
    turned.rotateRight();
    const QImage &bits = turned.image();
    versus(
        state,
        [&] {
            page.rotateRight();
            page.save(ours);
        },
        [&] { writeOneStrip(bits, bare); });
    state.counters["size_vs_original"] =
        static_cast<double>(QFileInfo(ours).size()) / static_cast<double>(QFileInfo(A1).size());
    state.counters["size_vs_anchor"] =
        static_cast<double>(QFileInfo(ours).size()) / static_cast<double>(QFileInfo(bare).size());
}
BENCHMARK(A1RotateWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

// Against Qt decoding the JPEG straight to the fitted size.
void A3JpegFirstPaintFitted(benchmark::State &state)
{
    if (!QFileInfo::exists(A3)) {
        state.SkipWithError("fixture missing");
        return;
    }
    Viewer viewer;
    const QSize fitted =
        QImageReader(A3).size().scaled(viewer.pain.maximumViewportSize(), Qt::KeepAspectRatio);
    versus(
        state,
        [&] {
            viewer.pain.clearDisplay();
            viewer.firstPaint(A3);
        },
        [&] {
            QImageReader reader(A3);
            reader.setScaledSize(fitted);
            benchmark::DoNotOptimize(reader.read());
        });
}
BENCHMARK(A3JpegFirstPaintFitted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// An A0 sheet at 600 dpi (19866 x 28062): the A1 drawing twice, one above the other, each
// enlarged to 600 dpi by repeating pixels, so that it is drawn as densely as the real scan.
// Written twice: as this program writes pages, and in one strip as from elsewhere.
struct A0Files {
    A0Files()
    {
        const QImage a1 = PageImage::load(A1).image();
        const int sheet = a1.height() * 3 / 2;
        QImage a0(a1.width() * 3 / 2, 2 * sheet, QImage::Format_Mono);
        a0.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        a0.fill(0);
        std::vector<int> from(static_cast<std::size_t>(a0.width()));
        for (int x = 0; x < a0.width(); ++x)
            from[static_cast<std::size_t>(x)] = x * 2 / 3;
        for (int y = 0; y < a0.height(); ++y) {
            const uchar *src = a1.constScanLine((y % sheet) * 2 / 3);
            uchar *dst = a0.scanLine(y);
            for (int x = 0; x < a0.width(); ++x) {
                const int s = from[static_cast<std::size_t>(x)];
                if (src[s >> 3] & (0x80 >> (s & 7)))
                    dst[x >> 3] = static_cast<uchar>(dst[x >> 3] | (0x80 >> (x & 7)));
            }
        }
        writeBilevelTiff(a0, ours, 600);
        writeOneStrip(a0, oneStrip);
    }
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("a0_600dpi_g4.tif"));
    const QString oneStrip = dir.filePath(QStringLiteral("a0_600dpi_g4_one_strip.tif"));
};

const A0Files &a0Files()
{
    static const A0Files files;
    return files;
}

// The page must stay at a bit a pixel: the rise of the peak resident size while it is
// shown is the page and what decoding it took. The anchor is libtiff decoding the same
// file's strips one after another on one thread.
void a0FirstPaint(benchmark::State &state, bool oneStrip)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    const QString a0 = oneStrip ? a0Files().oneStrip : a0Files().ours;
    // Large blocks straight from the system and back to it when freed, so that memory a
    // previous round freed does not hide this round's rise.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    Viewer viewer;
    double rise = 0;
    versus(
        state,
        [&] {
            viewer.pain.clearDisplay();
            malloc_trim(0);
            const bool reset = bench::resetPeak();
            const double before = bench::statusBytes("VmRSS:");
            viewer.firstPaint(a0);
            rise = reset ? std::max(rise, bench::statusBytes("VmHWM:") - before) : 0;
        },
        [&] { bareDecode(a0); });
    // The decoding alone, without the first touch of fresh memory.
    std::vector<double> decoding;
    for (int i = 0; i < 3; ++i)
        decoding.push_back(seconds([&] { bareDecode(a0, true); }));
    state.counters["decode_only_ms"] = median(decoding) * 1e3;
    state.counters["ratio_decode_only"] = state.counters["ours_ms"] / state.counters["decode_only_ms"];
    state.counters["peak_rise_MB"] = rise / 1e6;
    state.counters["file_MB"] = static_cast<double>(QFileInfo(a0).size()) / 1e6;
    state.counters["size_vs_one_strip"] =
        static_cast<double>(QFileInfo(a0).size()) / static_cast<double>(QFileInfo(a0Files().oneStrip).size());
    const QSize size = QImageReader(a0).size();
    state.counters["page_MB"] = (size.width() + 31) / 32 * 4 * double(size.height()) / 1e6;
}

// As this program writes pages: in strips, decoded on every core.
void A0FirstPaintFitted(benchmark::State &state)
{
    a0FirstPaint(state, false);
}
BENCHMARK(A0FirstPaintFitted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

// A page in one strip from elsewhere: decoded row after row.
void A0OneStripFirstPaintFitted(benchmark::State &state)
{
    a0FirstPaint(state, true);
}
BENCHMARK(A0OneStripFirstPaintFitted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

} // namespace
