#pragma once

#include "scan/scan_types.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace zumen {

class OptionsStore;

QString modeCaption(ScanMode mode);
// A device's option value as the dialog shows it: SANE's standard values (Flatbed, ADF,
// Lineart, Gray ...) in Japanese, any other as the device gives it.
QString deviceValueCaption(const QString &value);

// The choices of the last scan, kept in UserOP: Code 13 device, 14 mode, 15 resolution, 16
// source, 17 paper size, 18 deskew and 19 skip blank sheets (1 or 0), each as text in Contents.
// Missing or unreadable rows give the defaults.
ScanSettings loadScanSettings(OptionsStore &options);
// Writes all the rows or none. Throws the engine's errors.
void saveScanSettings(OptionsStore &options, const ScanSettings &settings);

// The scanner settings asked before each scan: device, mode, resolution, where the device has
// one the paper source, the paper size (the sheets that fit the device), deskew and skipping
// blank sheets. Enter or "読み取り" accepts; Esc, "取り消し" or the close box cancels.
// The dialog asks probe what a device offers each time another device is chosen.
class ScanSettings_frm : public QDialog {
    Q_OBJECT
public:
    using Probe = std::function<DeviceCapabilities(const QString &device)>;

    ScanSettings_frm(const QList<ScanDevice> &devices, const ScanSettings &initial, Probe probe,
                     QWidget *parent = nullptr);

    // The choices shown now.
    ScanSettings settings() const;

private:
    void showCapabilities();

    Probe m_probe;
    ScanSettings m_wanted; // what to preselect when the device's lists are filled again
    QComboBox *m_device;
    QComboBox *m_mode;
    QComboBox *m_resolution;
    QLabel *m_sourceLabel;
    QComboBox *m_source;
    QComboBox *m_paper;
    QCheckBox *m_deskew;
    QCheckBox *m_skipBlank;
    QPushButton *m_accept;
    QPushButton *m_cancel;
};

} // namespace zumen
