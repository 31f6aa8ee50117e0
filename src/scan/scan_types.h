#pragma once

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <utility>

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
    QSizeF maxArea;      // in mm; empty when the device does not say
};

// A sheet the scan area can be set to, named as the settings show it ("A4 縦").
struct PaperSize {
    QString name;
    QSizeF mm;
};

// The scan area besides the sheets: the area the device starts with, and all it can scan.
inline QString paperAuto()
{
    return QStringLiteral("自動");
}
inline QString paperLargest()
{
    return QStringLiteral("最大");
}

// The sheets a drawing office uses, each upright (縦) then lying (横); B is the JIS series.
inline QList<PaperSize> paperSizes()
{
    static const std::pair<const char *, QSizeF> sheets[] = {
        {"A4", {210, 297}}, {"A3", {297, 420}}, {"B4", {257, 364}}, {"B5", {182, 257}},
        {"A2", {420, 594}}, {"A1", {594, 841}}, {"A0", {841, 1189}}};
    QList<PaperSize> sizes;
    for (const auto &[name, mm] : sheets) {
        sizes.append({QString::fromLatin1(name) + QStringLiteral(" 縦"), mm});
        sizes.append({QString::fromLatin1(name) + QStringLiteral(" 横"), mm.transposed()});
    }
    return sizes;
}

struct ScanSettings {
    QString device;
    ScanMode mode = ScanMode::Mono;
    int resolution = 200;   // drawings read well at 200 dpi
    QString source;         // the device's own word; empty when it has no choice
    QString paperSize;      // a sheet of paperSizes() or paperLargest(); anything else is paperAuto()
    bool deskew = false;    // turn each page straight
    bool skipBlank = false; // leave out blank sheets of a batch
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
