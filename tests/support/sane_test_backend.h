#pragma once

#include <QSignalSpy>
#include <QString>
#include <QStringList>

// Points the scanner library at SANE's "test" backend for the length of a test: two virtual
// devices, test:0 and test:1, 80 x 100 mm, a black-and-white grid of 10 mm squares, 100 dpi.
//
// The library reads the name of its configuration folder once per process, so all tests share
// one folder (set the first time this class is used, before any scanner opens) and each test
// rewrites its files. They are read when the first scanner opens after the last one went: set
// options before creating the scanner, and let every scanner go at the end of its test.
class SaneTestBackend {
public:
    SaneTestBackend();
    ~SaneTestBackend(); // puts the defaults back for the next test
    SaneTestBackend(const SaneTestBackend &) = delete;
    SaneTestBackend &operator=(const SaneTestBackend &) = delete;

    // A test.conf line of the test backend ("read-delay", "true"); a later value wins.
    void setOption(const QString &name, const QString &value);
    void removeBackend(); // the library then finds no device

private:
    void write() const;

    QStringList m_lines;
    bool m_backend = true;
};

// Answers the next scanner settings dialog: the mode by its caption ("白黒", "グレー",
// "カラー"), the resolution in dpi, the device by name when given; then Enter, or Esc.
void answerScanSettings(const QString &mode, int dpi, bool accept = true, const QString &device = {});

// What a scanner (the service or the controller: they report alike) said about its scans.
template <class Scanner> struct ScanReports {
    explicit ScanReports(Scanner &scanner)
        : pages(&scanner, &Scanner::pageScanned), failures(&scanner, &Scanner::scanFailed),
          cancels(&scanner, &Scanner::scanCancelled)
    {}
    int count() const { return int(pages.count() + failures.count() + cancels.count()); }
    int failure() const { return failures.isEmpty() ? 0 : failures.at(0).at(0).toInt(); }

    QSignalSpy pages, failures, cancels;
};
