#pragma once

#include "imaging/page_error.h"
#include "scan/scan_types.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

class QDialog;
class QWidget;

namespace zumen {

struct Archive;
class ScanService;

// Scanning as the card asks for it: open() asks for the settings (remembered in UserOP for
// the next time) and opens the chosen device; start() scans one page, or from a feeder one
// sheet after another, while a progress dialog names the sheet and offers "中止". Each sheet
// comes back as pageScanned, and the end as exactly one of batchFinished, scanFailed or
// scanCancelled. A settings dialog cancelled closes the device, so the next open() opens it
// afresh. Nothing here shows an error: open() throws, a scan reports.
class ScanController : public QObject {
    Q_OBJECT
public:
    ScanController(Archive &archive, QObject *parent = nullptr);
    ~ScanController() override;

    // The settings of the last accepted dialog.
    ScanSettings settings() const { return m_settings; }
    ScanService &device() { return *m_device; }

    // Lists the devices, asks for the settings and opens the chosen device. False when the
    // user cancels the dialog. Throws NumberedError PageErr::NoScanner when there is no device
    // or the chosen one does not open, 3 while a scan runs, and the engine's errors when the
    // settings cannot be stored.
    bool open(QWidget *parent);
    // Starts scanning with the settings; returns at once. The progress dialog is
    // window-modal to parent. Without an open device the result is scanFailed(NoScanner); a
    // call while a scan runs is ignored.
    void start(QWidget *parent);
    // Runs the event loop until the scan has ended or ms have passed; true when it ended.
    bool waitForFinished(int ms = 30000);

public slots:
    // Stops the scan at the next chance; scanCancelled follows.
    void cancel();

signals:
    // As ScanService's signals; the progress dialog has gone before the ending ones.
    void pageScanned(QImage image, int dpi);
    void scanFailed(int number, QString description);
    void scanCancelled();
    void batchFinished(int sheets, int skipped);

private:
    void showProgress(int percent);
    void showSheet(int sheet);
    void closeProgress();

    Archive &m_archive;
    ScanService *m_device;
    ScanSettings m_settings;
    bool m_opening = false;
    QPointer<QDialog> m_progress; // the progress dialog of the running scan
};

} // namespace zumen
