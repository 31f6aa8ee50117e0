#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Points the scanner library at SANE's "test" backend for the length of a test, so scans are
// real but need no hardware: two virtual devices, test:0 and test:1, 80 x 100 mm, showing a
// black-and-white grid of 10 mm squares, at 100 dpi unless set otherwise.
//
// The library reads the name of its configuration folder only once per process, so all tests
// share one temporary folder (SANE_CONFIG_DIR is set the first time this class is used, which
// must come before any Scanner opens) and each test rewrites the files in it. The files are
// read when the library starts, that is when the first Scanner opens after the last one was
// destroyed: set things up before creating the Scanner, and let every Scanner go at the end
// of its test.
//
//     SaneTestBackend sane;
//     sane.setOption("read-delay", "true");     // a test.conf line of the test backend
//     Scanner scanner(db);
//     answerScanSettings(QStringLiteral("グレー"), 100);
//     scanner.open(nullptr);
class SaneTestBackend {
public:
    SaneTestBackend();
    // Puts the defaults back for the next test.
    ~SaneTestBackend();
    SaneTestBackend(const SaneTestBackend &) = delete;
    SaneTestBackend &operator=(const SaneTestBackend &) = delete;

    // Sets an option of the test backend's test.conf ("test-picture", "\"Solid white\"";
    // "read-status-code", "\"SANE_STATUS_JAMMED\""); a later value for the same name wins.
    void setOption(const QString &name, const QString &value);
    // No backend at all: the library then finds no device.
    void removeBackend();

    static QString folder();

private:
    void write() const;

    QList<QPair<QString, QString>> m_options;
    bool m_backend = true;
};

// Answers the next scanner settings dialog from inside its event loop: chooses the mode by its
// caption ("白黒", "グレー", "カラー"), the resolution in dpi and, when given, the device by its
// name ("test:1"), then presses Enter; with accept false it presses Esc instead.
void answerScanSettings(const QString &mode, int dpi, bool accept = true, const QString &device = {});
