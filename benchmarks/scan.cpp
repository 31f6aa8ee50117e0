// What the user waits for after 追加 with the feeder on a shown record: twenty A4 sheets at
// 300 dpi 白黒, read by the scanner service on its own thread while each sheet that came is
// put in the viewer, written as the capture writes it (Group 4 TIFF) and given its page row,
// as the card does for a further page. Beside it, in the same iterations: the bare library
// loop over the same sheets with the same options, sane_start and sane_read into one buffer
// until the feeder is empty, nothing kept. The test device's feeder holds ten sheets and is
// full again once a scan has found it empty, so the twenty are two scans of ten on the open
// device, in both. Opening the device is left out of both times. Medians of the iterations;
// x_anchor is ours / anchor.
#include "db/archive.h"
#include "db/record_store.h"
#include "pages/pain.h"
#include "scan/scan_service.h"
#include "support/bench.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

using namespace zumen;
using bench::median;

namespace {

constexpr int Loads = 2;          // feeder loads per batch
constexpr int SheetsPerLoad = 10; // what the test device's feeder holds
const char *const Device = "test:0";
const char *const Feeder = "Automatic Document Feeder";

// Points the library at its test device, an A4 grid: set once, before the library first
// starts, since it reads where its configuration lies only then.
bool pointAtTestDevice()
{
    static QTemporaryDir dir;
    static const bool pointed = [] {
        const auto write = [](const QString &name, const QByteArray &text) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
        };
        // Without a trailing colon the library reads this folder only, never /etc/sane.d.
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir.path()));
        return dir.isValid() && write(QStringLiteral("dll.conf"), "test\n") &&
               write(QStringLiteral("test.conf"), "number_of_devices 1\n"
                                                  "test-picture \"Grid\"\n"
                                                  "resolution_max 1200.0\n"
                                                  "geometry_max 300.0\n"
                                                  "tl_x 0.0\n"
                                                  "tl_y 0.0\n"
                                                  "br_x 210.0\n"
                                                  "br_y 297.0\n");
    }();
    return pointed;
}

// The bare library: the device opened and set as the service sets it for 白黒 on this device
// (grey at one bit: it has no line-art mode), then only the timed reading. Seconds, or -1.
double bareBatch(int &sheets)
{
    SANE_Int version = 0;
    if (sane_init(&version, nullptr) != SANE_STATUS_GOOD)
        return -1;
    SANE_Handle handle = nullptr;
    double seconds = -1;
    if (sane_open(Device, &handle) == SANE_STATUS_GOOD) {
        const auto set = [&](const char *name, auto value) {
            SANE_Int count = 0;
            sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr);
            for (SANE_Int i = 1; i < count; ++i) {
                const SANE_Option_Descriptor *d = sane_get_option_descriptor(handle, i);
                if (!d || !d->name || std::strcmp(d->name, name) != 0)
                    continue;
                if constexpr (std::is_same_v<decltype(value), int>) {
                    SANE_Word word = d->type == SANE_TYPE_FIXED ? SANE_FIX(value) : value;
                    return sane_control_option(handle, i, SANE_ACTION_SET_VALUE, &word, nullptr) ==
                           SANE_STATUS_GOOD;
                } else {
                    std::vector<char> text(value, value + std::strlen(value) + 1);
                    return sane_control_option(handle, i, SANE_ACTION_SET_VALUE, text.data(), nullptr) ==
                           SANE_STATUS_GOOD;
                }
            }
            return false;
        };
        if (set(SANE_NAME_SCAN_MODE, SANE_VALUE_SCAN_MODE_GRAY) && set(SANE_NAME_BIT_DEPTH, 1) &&
            set(SANE_NAME_SCAN_RESOLUTION, 300) && set(SANE_NAME_SCAN_SOURCE, Feeder)) {
            std::vector<SANE_Byte> buffer(64 * 1024);
            QElapsedTimer clock;
            clock.start();
            for (int load = 0; load < Loads; ++load) {
                while (sane_start(handle) == SANE_STATUS_GOOD) {
                    SANE_Int length = 0;
                    while (sane_read(handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &length) ==
                           SANE_STATUS_GOOD)
                        benchmark::DoNotOptimize(buffer.data());
                    ++sheets;
                }
                sane_cancel(handle);
            }
            seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        }
        sane_close(handle);
    }
    sane_exit();
    return seconds;
}

// Ours: the service's batch, each sheet taken as the card takes a further page of a shown
// record. Seconds, or -1 when the scan failed.
double ourBatch(Pain &picture, Archive &archive, std::int32_t id, int &sheets)
{
    ScanService service;
    if (!service.open(QString::fromLatin1(Device)))
        return -1;
    ScanSettings settings;
    settings.device = QString::fromLatin1(Device);
    settings.mode = ScanMode::Mono;
    settings.resolution = 300;
    settings.source = QString::fromLatin1(Feeder);
    bool failed = false;
    QObject::connect(&service, &ScanService::scanFailed, [&] { failed = true; });
    QObject::connect(&service, &ScanService::pageScanned, [&](const QImage &image, int dpi) {
        try {
            picture.setScannedImage(image, dpi);
            const std::optional<std::int16_t> page = archive.records.nextPage(id);
            const QString file = ScanFileName(id, page);
            picture.saveAs(archive.scanFolder + u'/' + file, 1);
            archive.records.putPage(id, *page, QStringLiteral("_SCAN"), file);
            ++sheets;
        } catch (const std::exception &) {
            failed = true; // the count of sheets then tells
        }
    });
    QElapsedTimer clock;
    clock.start();
    for (int load = 0; load < Loads && !failed; ++load) {
        service.start(settings);
        failed = !service.waitForFinished() || failed;
    }
    return failed ? -1 : static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

void FeederBatchA4Mono300(benchmark::State &state)
{
    if (!pointAtTestDevice()) {
        state.SkipWithError("cannot write the scanner configuration");
        return;
    }
    Archive &archive = bench::archive(10000);
    const std::int32_t id = 5000;
    const std::optional<std::int16_t> first = archive.records.nextPage(id);
    QTemporaryDir scans;
    if (!first || !scans.isValid()) {
        state.SkipWithError("no record with pages, or no scan folder");
        return;
    }
    // The generated folder's own scans are left alone.
    const QString kept = std::exchange(archive.scanFolder, scans.path());
    Pain picture;
    picture.resize(1600, 1000);
    picture.show();
    picture.fitToWindow();

    std::vector<double> ours, bare;
    qint64 written = 0;
    for (auto _ : state) {
        int anchorSheets = 0, sheets = 0;
        const double anchor = bareBatch(anchorSheets);
        const double own = ourBatch(picture, archive, id, sheets);
        // The pages go again, whatever came: the generated folder is shared with other runs.
        archive.db.executeNative(
            QStringLiteral("DELETE FROM PG WHERE ID=%1 AND Page>=%2").arg(id).arg(*first));
        for (const QFileInfo &file : QDir(scans.path()).entryInfoList(QDir::Files)) {
            written += file.size();
            QFile::remove(file.filePath());
        }
        const int expected = Loads * SheetsPerLoad;
        if (anchor < 0 || own < 0 || anchorSheets != expected || sheets != expected) {
            state.SkipWithError("the test device did not give every sheet");
            break;
        }
        bare.push_back(anchor / expected);
        ours.push_back(own / expected);
        state.SetIterationTime(own);
    }
    archive.scanFolder = kept;
    state.counters["per_sheet_ms"] = median(ours) * 1e3;
    state.counters["anchor_per_sheet_ms"] = median(bare) * 1e3;
    state.counters["x_anchor"] = median(bare) > 0 ? median(ours) / median(bare) : 0;
    // Shows the sheets were written bilevel and compressed.
    state.counters["kb_per_sheet"] =
        ours.empty()
            ? 0
            : static_cast<double>(written) / 1024 / static_cast<double>(ours.size() * Loads * SheetsPerLoad);
}

} // namespace

BENCHMARK(FeederBatchA4Mono300)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
