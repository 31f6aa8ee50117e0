#include "support/bench.h"
#include "widgets/ui.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// One main for every benchmark program: windows and images need a QApplication, no display.
// Fonts as the program sets them, so that windows lay out as the user sees them.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zumen::installFontSubstitutions();
    app.setFont(zumen::windowFont(zumen::ProportionalGothic, 10));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    zumen::bench::releaseKept();
    benchmark::Shutdown();
    return 0;
}
