#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace zumen {

// What a page is scanned as: 白黒 (bilevel), グレー, カラー.
enum class ScanMode { Mono, Gray, Color };

struct ScanDevice {
    QString name;  // the scanner library's device name, "test:0"
    QString label; // vendor, model and name, as the list shows them
};

// What a device offers. Without a device to ask, every mode and the usual resolutions.
struct DeviceCapabilities {
    QList<ScanMode> modes{ScanMode::Mono, ScanMode::Gray, ScanMode::Color};
    QList<int> resolutions{100, 150, 200, 300, 400, 600};
    QStringList sources; // empty when the device has no choice of paper source
};

struct ScanSettings {
    QString device;
    ScanMode mode = ScanMode::Mono;
    int resolution = 200;   // drawings read well at 200 dpi
    QString source;         // the device's own word; empty when it has no choice
    bool skipBlank = false; // a batch from the feeder drops the sheets with nothing on them
};

// Whether the device's word for a source names a document feeder (one side or both): a scan
// from it goes on sheet after sheet until the feeder is empty.
inline bool isFeederSource(const QString &source)
{
    for (const char *word : {"ADF", "Feeder", "Duplex"}) {
        if (source.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace zumen
