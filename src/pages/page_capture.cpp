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
#include "scan/scan_types.h"
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
        connect(m_scanner, &ScanController::pageScanned, this, &PageCapture::sheetArrived);
        connect(m_scanner, &ScanController::batchFinished, this, [this](int sheets, int skipped) {
            if (!isFeederSource(m_scanner->settings().source))
                return scanEnded({});
            QString text = QStringLiteral("%1 枚を取り込みました").arg(sheets);
            if (skipped > 0)
                text += QStringLiteral(" (白紙 %1 枚を除きました)").arg(skipped);
            scanEnded(text + QStringLiteral("。"));
        });
        connect(m_scanner, &ScanController::scanFailed, this, [this](int number, const QString &description) {
            QString text = number == PageErr::NoScanner ? scanErrorText(number)
                                                        : QString::number(number) + u'\r' + description;
            if (m_kept > 0)
                text += QStringLiteral("\r%1 枚目で止まりました。それまでの %2 枚は取り込みました。")
                            .arg(m_kept + 1)
                            .arg(m_kept);
            scanEnded(text);
        });
        connect(m_scanner, &ScanController::scanCancelled, this, [this] {
            scanEnded(m_kept > 0 && !m_stopped
                          ? QStringLiteral("中止しました。それまでの %1 枚は取り込みました。").arg(m_kept)
                          : QString());
        });
    }
    return *m_scanner;
}

void PageCapture::sheetArrived(const QImage &image, int dpi)
{
    if (m_stopped)
        return;
    m_waiting.append({image, dpi});
    takeSheets();
}

// Saves the waiting sheets in order, one at a time: saving one may wait for the user (an
// alert), and the sheets arriving meanwhile queue up behind it.
void PageCapture::takeSheets()
{
    if (m_taking)
        return;
    m_taking = true;
    while (!m_waiting.isEmpty() && !m_stopped) {
        const auto [image, dpi] = m_waiting.takeFirst();
        m_picture.setScannedImage(image, dpi);
        bool kept = false;
        if (m_scanned)
            guarded([&] { kept = m_scanned(); });
        if (kept) {
            ++m_kept;
        } else {
            m_stopped = true;
            m_scanner->cancel();
        }
    }
    m_waiting.clear();
    m_taking = false;
    if (!m_end)
        return;
    const QString message = *std::exchange(m_end, std::nullopt);
    if (!message.isEmpty())
        ShowAlert(message);
    if (m_finished)
        guarded(m_finished);
}

void PageCapture::scanEnded(const QString &message)
{
    m_end = message;
    takeSheets();
}

void PageCapture::scan(QWidget *owner, std::function<bool()> scanned, std::function<void()> finished)
{
    m_scanned = std::move(scanned);
    m_finished = std::move(finished);
    m_waiting.clear();
    m_stopped = false;
    m_end.reset();
    m_kept = 0;
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
