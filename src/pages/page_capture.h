#pragma once

#include "card/page_source.h"

#include <QObject>

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
    void scan(QWidget *owner, std::function<void()> scanned) override;
    void writeScan(const QString &path) override;

private:
    ScanController &scanner();

    Archive &m_archive;
    Pain &m_picture;
    ScanController *m_scanner = nullptr;
    GetDir_frm *m_getDir = nullptr;
    std::function<void()> m_scanned;
};

} // namespace zumen
