#pragma once

#include "pages/scan_settings.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>

class QDialog;
class QThread;
class QWidget;

namespace zumen {

class Database;
class ScanWorker;

// The scanner, through the SANE library. open() asks for the settings and opens the device;
// start() scans one page on a thread of its own while a progress dialog offers "中止", and
// the result comes back on the UI thread as exactly one of pageScanned, scanFailed or
// scanCancelled. The device stays open between scans; it is closed when the object goes,
// after a failed scan and when the settings dialog is cancelled (the next open() opens it
// afresh). The library is started with the
// first Scanner that opens and shut down with the last one destroyed, so in the program it
// runs once; only one thread ever calls it at a time. Nothing here shows an error: open()
// throws, a scan reports.
class Scanner : public QObject {
    Q_OBJECT
public:
    enum class Status { Idle, Opening, Scanning, Cancelling };

    // The number for "no usable scanner": none found, or the chosen one does not open.
    static constexpr int NoScanner = 5;
    static QString noScannerText();

    explicit Scanner(Database &db, QObject *parent = nullptr);
    ~Scanner() override;

    Status status() const { return m_status; }
    bool isOpen() const { return m_handle != nullptr; }
    // The settings of the last accepted dialog.
    ScanSettings settings() const { return m_settings; }

    // Lists the devices, asks for the settings (remembered in UserOP for the next time) and
    // opens the chosen device. False when the user cancels the dialog. Throws NumberedError 5
    // when there is no device or the chosen one does not open, 3 while a scan runs, and the
    // engine's errors when the settings cannot be stored.
    bool open(QWidget *parent);
    // Sets the device's options and starts scanning one page; returns at once. A progress
    // dialog, window-modal to parent, shows how far the scan is. Without an open device the
    // result is scanFailed(5); a call while a scan runs is ignored.
    void start(QWidget *parent);
    // Runs the event loop until the scan has reported or ms have passed; true when it reported.
    bool waitForFinished(int ms = 30000);

public slots:
    // Stops the scan at the next chance; scanCancelled follows.
    void cancel();

signals:
    // The page in the form the mode asks for: Format_Mono (0 white, 1 black) for 白黒,
    // Format_Grayscale8 for グレー, Format_RGB32 for カラー; dpi as the device scanned it.
    void pageScanned(QImage image, int dpi);
    // number: 5 for no usable scanner, otherwise the library's status code (1 unsupported,
    // also for a frame format that cannot be read, 3 busy, 4 invalid setting, 6 jammed, 7 no paper, 8 cover
    // open, 9 I/O error, 10 out of memory, 11 access denied); description in Japanese.
    void scanFailed(int number, QString description);
    void scanCancelled();

private:
    void workerDone(int status, const QImage &image);
    void showProgress(int percent);
    void fail(int number);
    DeviceCapabilities probe(const QString &device);
    bool openDevice(const QString &device);
    void closeDevice();

    Database &m_db;
    Status m_status = Status::Idle;
    bool m_libraryStarted = false;
    void *m_handle = nullptr; // the open device
    QString m_deviceName;
    ScanSettings m_settings;
    int m_dpi = 0;
    bool m_reportPending = false; // start() was called and its result has not been signalled
    std::atomic_bool m_cancel{false};
    QThread *m_thread = nullptr;
    ScanWorker *m_worker = nullptr;
    QPointer<QDialog> m_progress; // the progress dialog of the running scan
};

// The description shown for a failure number of the scanner.
QString scanErrorText(int number);

} // namespace zumen
