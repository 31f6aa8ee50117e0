// Straightening a scanned sheet: the A1 400 dpi bilevel fixture turned by 1.5 degrees, then
// found and turned back by deskew(), beside Leptonica's own skew search and rotation on the same
// page already in its form, measured in the same run; the difference is our conversion to and
// from QImage. Skips when the fixture is not there.
#include "imaging/deskew.h"
#include "imaging/tiff_io.h"
#include "support/bench.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <leptonica/allheaders.h>

#include <cmath>

using namespace zumen;

namespace {

const QString A1 = bench::fixture(bench::A1Fixture);
constexpr float SkewDegrees = 1.5f;

void A1Deskew(benchmark::State &state)
{
    if (!QFileInfo::exists(A1)) {
        state.SkipWithError("fixture missing");
        return;
    }
    // The skewed page is made once, as the library does it, and read back as a scan would be.
    QTemporaryDir dir;
    const QString skewedPath = dir.filePath(QStringLiteral("skewed.tif"));
    PIX *page = pixRead(A1.toLocal8Bit().constData());
    PIX *skewed = pixRotate(page, SkewDegrees * float(M_PI) / 180, L_ROTATE_SHEAR, L_BRING_IN_WHITE, 0, 0);
    pixDestroy(&page);
    pixWrite(skewedPath.toLocal8Bit().constData(), skewed, IFF_TIFF_G4);
    const QImage scanned = readTiff(skewedPath).bilevel;
    if (scanned.isNull() || !skewed) {
        pixDestroy(&skewed);
        state.SkipWithError("skewed page not made");
        return;
    }

    const bench::Times anchor = bench::medianMicros([&] {
        float angle = 0, confidence = 0;
        pixFindSkew(skewed, &angle, &confidence);
        PIX *straight = pixRotate(skewed, angle * float(M_PI) / 180, L_ROTATE_SHEAR, L_BRING_IN_WHITE, 0, 0);
        pixDestroy(&straight);
    });
    double found = 0;
    bench::measure(
        state, [&] { found = deskew(scanned).angleDegrees; }, anchor);
    state.counters["angle"] = found;
    pixDestroy(&skewed);
}
BENCHMARK(A1Deskew)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
