#include "pages/page_capture.h"

#include "db/archive.h"
#include "db/numbered_error.h"
#include "dialogs/alert_frm.h"
#include "dialogs/guard.h"
#include "imaging/page_error.h"
#include "pages/get_dir_frm.h"
#include "pages/pain.h"
#include "pages/scan_controller.h"
#include "pages/select_device_frm.h"
#include "scan/scan_service.h"
#include "widgets/ui.h"

#include <QDir>

namespace zumen {
PageCapture::PageCapture(Archive &archive, Pain &picture, QObject *parent)
    : QObject(parent), m_archive(archive), m_picture(picture)
{}

PageSource::Kind PageCapture::choose(QWidget *owner)
{
    SelectDevice_frm device(owner);
    CenterForm(device);
    device.exec();
    switch (device.DeviceChoice) {
    case SelectDevice_frm::Scanner:
        return Kind::Scanner;
    case SelectDevice_frm::File:
        return Kind::File;
    default:
        return Kind::Back;
    }
}

std::optional<PageSource::File> PageCapture::chooseFile(QWidget *owner)
{
    if (!m_getDir)
        m_getDir = new GetDir_frm(m_archive.fileFolder, owner);
    CenterForm(*m_getDir);
    m_getDir->showModal();
    if (!m_getDir->ImportAccepted)
        return std::nullopt;
    return File{m_getDir->ImportFolder, m_getDir->ImportFile};
}

ScanController &PageCapture::scanner()
{
    if (!m_scanner) {
        m_scanner = new ScanController(m_archive, this);
        connect(m_scanner, &ScanController::pageScanned, this, [this](const QImage &image, int dpi) {
            m_picture.setScannedImage(image, dpi);
            if (m_scanned)
                guarded(m_scanned);
        });
        connect(m_scanner, &ScanController::scanFailed, this, [](int number, const QString &description) {
            ShowAlert(number == PageErr::NoScanner ? scanErrorText(number)
                                                   : QString::number(number) + u'\r' + description);
        });
    }
    return *m_scanner;
}

void PageCapture::scan(QWidget *owner, std::function<void()> scanned)
{
    m_scanned = std::move(scanned);
    // The scanner's own software may change the working folder, where QV.MDB's neighbours
    // (the placeholder page, request files) are looked for: put it back on every path.
    const QString folder = QDir::currentPath();
    try {
        if (scanner().open(owner))
            scanner().start(owner);
    } catch (const NumberedError &e) {
        ShowAlert(e.number() == PageErr::NoScanner ? scanErrorText(e.number()) : e.alertText());
    }
    QDir::setCurrent(folder);
}

void PageCapture::writeScan(const QString &path)
{
    m_picture.saveAs(path, 1);
}

} // namespace zumen
