// What a page costs the viewer on real-size sheets: opening, rendering a 1600 x 1000 view at
// each zoom, a scroll step (the strip three wheel lines uncover), a quarter turn, the
// memory the decoded page holds and the peak while loading it. Uses the shared fixtures and skips what is not
// there.
#include "imaging/page_image.h"
#include "pages/pain.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstring>
#include <malloc.h>
#include <map>

using namespace zumen;

namespace {

const QString A1 = QStringLiteral("/work/shared/fixtures/a1_400dpi_g4.tif");
const QString A3 = QStringLiteral("/work/shared/fixtures/a3_300dpi_gray.jpg");
const QSize View(1600, 1000);
constexpr int ScrollStep = 3 * 40;

const PageImage *fixture(const QString &path)
{
    static std::map<QString, PageImage> pages;
    auto it = pages.find(path);
    if (it == pages.end()) {
        if (!QFileInfo::exists(path))
            return nullptr;
        it = pages.emplace(path, PageImage::load(path)).first;
    }
    return &it->second;
}

// The view over the middle of the page at percent.
QRect middleView(const PageImage &page, int percent)
{
    const QSize size = page.zoomedSize(percent);
    return QRect(QPoint(std::max(0, (size.width() - View.width()) / 2),
                        std::max(0, (size.height() - View.height()) / 2)),
                 View);
}

void Open(benchmark::State &state, const QString &path)
{
    if (!QFileInfo::exists(path)) {
        state.SkipWithError("fixture missing");
        return;
    }
    qsizetype bytes = 0;
    for (auto _ : state) {
        const PageImage page = PageImage::load(path);
        bytes = page.byteCount();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK_CAPTURE(Open, a1_g4, A1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Open, a3_grey_jpeg, A3)->Unit(benchmark::kMillisecond);

// A figure of this process from /proc/self/status, in bytes.
double statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                       .trimmed()
                       .split(' ')
                       .value(0)
                       .toDouble() *
                   1024;
    return 0;
}

// How far memory rises while a page loads, against what the loaded page holds. Anchor: a
// page is decoded once, so the rise stays within about 1.2 x the page. Measured (release
// build): A3 grey JPEG 1.00 x, A1 Group 4 1.07 x; the JPEG was at 2.0 x while setting the
// resolution copied the whole decoded page.
void LoadPeakMemory(benchmark::State &state, const QString &path)
{
    if (!QFileInfo::exists(path)) {
        state.SkipWithError("fixture missing");
        return;
    }
    // Large blocks straight from the system and back to it when freed, so that memory a
    // previous round freed does not hide this round's rise.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    double rise = 0, bytes = 0;
    for (auto _ : state) {
        malloc_trim(0);
        // Writing 5 resets the peak resident size to the present one (Linux 4.0 and later).
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) {
            state.SkipWithError("cannot reset the peak resident size");
            return;
        }
        clear.close();
        const double before = statusBytes("VmRSS:");
        const PageImage page = PageImage::load(path);
        rise = statusBytes("VmHWM:") - before;
        bytes = static_cast<double>(page.byteCount());
    }
    state.counters["peak_rise_bytes"] = rise;
    state.counters["page_bytes"] = bytes;
    state.counters["rise_per_page"] = bytes > 0 ? rise / bytes : 0;
}
BENCHMARK_CAPTURE(LoadPeakMemory, a1_g4, A1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(LoadPeakMemory, a3_grey_jpeg, A3)->Unit(benchmark::kMillisecond)->Iterations(3);

void RenderView(benchmark::State &state, const QString &path)
{
    const PageImage *page = fixture(path);
    if (!page) {
        state.SkipWithError("fixture missing");
        return;
    }
    const int percent = static_cast<int>(state.range(0));
    const QRect view = middleView(*page, percent);
    for (auto _ : state)
        benchmark::DoNotOptimize(page->render(view, percent));
    state.counters["page_bytes"] = static_cast<double>(page->byteCount());
}
BENCHMARK_CAPTURE(RenderView, a1_g4, A1)
    ->Arg(25)
    ->Arg(50)
    ->Arg(75)
    ->Arg(100)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RenderView, a3_grey_jpeg, A3)
    ->Arg(25)
    ->Arg(50)
    ->Arg(75)
    ->Arg(100)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);

// 全体: the whole page fitted to the view, as the viewer opens a record by default.
void RenderFit(benchmark::State &state, const QString &path)
{
    const PageImage *page = fixture(path);
    if (!page) {
        state.SkipWithError("fixture missing");
        return;
    }
    const QSize size = page->size();
    const Scale fit = qint64(View.width()) * size.height() <= qint64(View.height()) * size.width()
                          ? Scale{View.width(), size.width()}
                          : Scale{View.height(), size.height()};
    const QRect whole(QPoint(0, 0), page->zoomedSize(fit));
    for (auto _ : state)
        benchmark::DoNotOptimize(page->render(whole, fit));
    state.counters["percent"] = 100.0 * static_cast<double>(fit.num) / static_cast<double>(fit.den);
}
BENCHMARK_CAPTURE(RenderFit, a1_g4, A1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RenderFit, a3_grey_jpeg, A3)->Unit(benchmark::kMillisecond);

void ScrollStepStrip(benchmark::State &state, const QString &path)
{
    const PageImage *page = fixture(path);
    if (!page) {
        state.SkipWithError("fixture missing");
        return;
    }
    const int percent = static_cast<int>(state.range(0));
    const QRect view = middleView(*page, percent);
    const QRect strip(view.left(), view.bottom() + 1, view.width(), ScrollStep);
    for (auto _ : state)
        benchmark::DoNotOptimize(page->render(strip, percent));
}
// At 25 % the A3 page fits the view and does not scroll.
BENCHMARK_CAPTURE(ScrollStepStrip, a1_g4, A1)->Arg(25)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ScrollStepStrip, a3_grey_jpeg, A3)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

void RotateRight(benchmark::State &state, const QString &path)
{
    const PageImage *loaded = fixture(path);
    if (!loaded) {
        state.SkipWithError("fixture missing");
        return;
    }
    PageImage page = *loaded;
    for (auto _ : state) {
        page.rotateRight();
        benchmark::DoNotOptimize(page.byteCount());
    }
}
BENCHMARK_CAPTURE(RotateRight, a1_g4, A1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RotateRight, a3_grey_jpeg, A3)->Unit(benchmark::kMillisecond);

// Writing a turned page back, as the viewer's rotate does.
void SaveInKind(benchmark::State &state, const QString &path)
{
    const PageImage *loaded = fixture(path);
    if (!loaded) {
        state.SkipWithError("fixture missing");
        return;
    }
    QTemporaryDir dir;
    PageImage page = *loaded;
    const QString target = dir.filePath(QFileInfo(path).fileName());
    for (auto _ : state)
        page.save(target);
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(target).size());
}
BENCHMARK_CAPTURE(SaveInKind, a1_g4, A1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveInKind, a3_grey_jpeg, A3)->Unit(benchmark::kMillisecond);

// The whole display: a zoom change repaints the view through the widget.
void PainZoomChange(benchmark::State &state)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    Pain pain;
    pain.resize(View);
    pain.setImage(A1);
    pain.display();
    int percent = 25;
    for (auto _ : state) {
        percent = percent == 25 ? 100 : 25;
        pain.setZoom(percent);
        benchmark::DoNotOptimize(pain.viewport()->grab());
    }
}
BENCHMARK(PainZoomChange)->Unit(benchmark::kMillisecond);

} // namespace
