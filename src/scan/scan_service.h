#pragma once

#include "scan/scan_types.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

class QThread;

namespace zumen {

class ScanWorker;

// The scanner device through the SANE library, without any window: lists the devices, says
// what one offers, opens it and scans on a thread of its own: one page, or from a document
// feeder every sheet until it is empty (both sides of each, front first, where the source
// reads both). The results come back on the calling thread: pageScanned for each sheet kept,
// then exactly one of batchFinished, scanFailed or scanCancelled. The device stays open between scans; it is
// closed when the object goes and after a failed scan. The library is started with the first service that
// needs it and shut down with the last one destroyed, so in the program it runs once; only one thread ever
// calls it at a time.
class ScanService : public QObject {
    Q_OBJECT
public:
    enum class Status { Idle, Scanning, Cancelling };

    explicit ScanService(QObject *parent = nullptr);
    ~ScanService() override;

    Status status() const { return m_status; }
    bool isOpen() const { return m_handle != nullptr; }
    // A scan runs in this or another service: no call may reach the library meanwhile.
    static bool busy();

    // The devices the library finds; empty when there are none or the library does not start.
    QList<ScanDevice> devices();
    // What the device offers; opens it to ask and keeps it open. The defaults when it does not open.
    DeviceCapabilities capabilities(const QString &device);
    // Opens the device (a no-op when it is the open one); false when it does not open.
    bool open(const QString &device);
    void close();

    // Puts the settings into the open device and starts scanning; returns at once.
    // Without an open device the result is scanFailed(PageErr::NoScanner); a call while a scan
    // runs is ignored.
    void start(const ScanSettings &settings);
    // Runs the event loop until the scan has ended or ms have passed; true when it ended.
    bool waitForFinished(int ms = 30000);

public slots:
    // Stops the scan at the next chance: the sheet being read is dropped, those already
    // reported stay; scanCancelled follows.
    void cancel();

signals:
    // The sheet (counted from 1) whose reading begins.
    void sheetStarted(int sheet);
    // Percent of the sheet read, or -1 while the height is not known.
    void progress(int percent);
    // The page in the form the mode asks for: Format_Mono (0 white, 1 black) for 白黒,
    // Format_Grayscale8 for グレー, Format_RGB32 for カラー; dpi as the device scanned it.
    void pageScanned(QImage image, int dpi);
    // number: PageErr::NoScanner for no usable scanner, otherwise the library's status code (1
    // unsupported, also for a frame format that cannot be read, 3 busy, 4 invalid setting, 6
    // jammed, 7 no paper, 8 cover open, 9 I/O error, 10 out of memory, 11 access denied);
    // description in Japanese. Sheets reported before it stay: they were read whole.
    void scanFailed(int number, QString description);
    void scanCancelled();
    // The scan ended well: the sheets kept (each came as pageScanned) and the blank ones left out.
    void batchFinished(int sheets, int skipped);

private:
    void workerDone(int status, int sheets, int skipped);
    void fail(int number);
    bool startLibrary();

    Status m_status = Status::Idle;
    bool m_libraryStarted = false;
    void *m_handle = nullptr; // the open device
    QString m_deviceName;
    QList<int> m_defaultArea; // the scan area the device opened with, for 自動
    int m_dpi = 0;
    int m_sheets = 0;             // sheets reported by the running scan
    bool m_reportPending = false; // start() was called and its result has not been signalled
    std::atomic_bool m_cancel{false};
    QThread *m_thread = nullptr;
    ScanWorker *m_worker = nullptr;
};

// The description shown for a failure number of the scanner.
QString scanErrorText(int number);

} // namespace zumen
