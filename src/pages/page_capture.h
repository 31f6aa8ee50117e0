#pragma once

#include "card/page_source.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

namespace zumen {

struct Archive;
class GetDir_frm;
class Pain;
class ScanController;

// The card's pages from the scanner and from image files: the source window, the file
// window (kept between imports so it opens where the user left it) and the scanner, with the
// scanned page shown in the viewer's picture.
class PageCapture : public QObject, public PageSource {
    Q_OBJECT
public:
    PageCapture(Archive &archive, Pain &picture, QObject *parent = nullptr);

    Kind choose(QWidget *owner) override;
    std::optional<File> chooseFile(QWidget *owner) override;
    void scan(QWidget *owner, std::function<bool()> scanned, std::function<void()> finished) override;
    void writeScan(const QString &path) override;

private:
    ScanController &scanner();
    void sheetArrived(const QImage &image, int dpi);
    void takeSheets();
    void scanEnded(const QString &message);

    Archive &m_archive;
    Pain &m_picture;
    ScanController *m_scanner = nullptr;
    GetDir_frm *m_getDir = nullptr;
    std::function<bool()> m_scanned;
    std::function<void()> m_finished;
    // The sheets that arrived while an earlier one was still being saved (an alert waits, say).
    QList<std::pair<QImage, int>> m_waiting;
    bool m_taking = false;
    bool m_stopped = false;       // a sheet was not kept: the rest of the batch is not wanted
    std::optional<QString> m_end; // the scan is over; what to tell once the last sheet is saved
    int m_kept = 0;
};

} // namespace zumen
