#include "pages/scan_controller.h"

#include "db/archive.h"
#include "imaging/page_error.h"
#include "pages/scan_settings.h"
#include "scan/scan_service.h"
#include "text/log.h"
#include "widgets/ui.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace zumen {

namespace {

// The library's number for a device in use.
constexpr int DeviceBusy = 3;

} // namespace

ScanController::ScanController(Archive &archive, QObject *parent)
    : QObject(parent), m_archive(archive), m_device(new ScanService(this))
{
    connect(m_device, &ScanService::progress, this, &ScanController::showProgress);
    connect(m_device, &ScanService::sheetStarted, this, &ScanController::showSheet);
    connect(m_device, &ScanService::pageScanned, this, [this](const QImage &image, int dpi) {
        // A single page ends the scan: its dialog goes first, as what follows may ask the user.
        if (!isFeederSource(m_settings.source))
            closeProgress();
        emit pageScanned(image, dpi);
    });
    // The progress dialog goes before anyone hears the end.
    connect(m_device, &ScanService::batchFinished, this, [this](int sheets, int skipped) {
        closeProgress();
        emit batchFinished(sheets, skipped);
    });
    connect(m_device, &ScanService::scanFailed, this, [this](int number, const QString &description) {
        closeProgress();
        emit scanFailed(number, description);
    });
    connect(m_device, &ScanService::scanCancelled, this, [this] {
        closeProgress();
        emit scanCancelled();
    });
}

ScanController::~ScanController()
{
    delete m_progress;
}

bool ScanController::open(QWidget *parent)
{
    if (m_opening || m_device->status() != ScanService::Status::Idle || ScanService::busy())
        throw NumberedError(DeviceBusy, scanErrorText(DeviceBusy));
    m_opening = true;
    const auto done = qScopeGuard([this] { m_opening = false; });

    const QList<ScanDevice> devices = m_device->devices();
    if (devices.isEmpty()) {
        qCWarning(logScan) << "no scanner found";
        throw NumberedError(PageErr::NoScanner, scanErrorText(PageErr::NoScanner));
    }
    ScanSettings_frm dialog(
        devices, loadScanSettings(m_archive.options),
        [this](const QString &device) { return m_device->capabilities(device); }, parent);
    if (dialog.exec() != QDialog::Accepted) {
        // The dialog opened devices only to ask them; a start now must not scan.
        m_device->close();
        return false;
    }
    m_settings = dialog.settings();
    saveScanSettings(m_archive.options, m_settings);
    if (!m_device->open(m_settings.device))
        throw NumberedError(PageErr::NoScanner, scanErrorText(PageErr::NoScanner));
    return true;
}

void ScanController::start(QWidget *parent)
{
    if (m_opening || m_device->status() != ScanService::Status::Idle || ScanService::busy())
        return;
    m_device->start(m_settings);
    if (m_device->status() != ScanService::Status::Scanning)
        return; // it failed at once, and says so shortly

    auto *dialog = new QDialog(parent);
    dialog->setWindowTitle(QStringLiteral("スキャン"));
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    dialog->setFont(windowFont(ProportionalGothic, 9));
    dialog->setWindowModality(Qt::WindowModal);
    nameControl(*dialog, QStringLiteral("ScanProgress"), dialog->windowTitle());
    auto *message = new QLabel(QStringLiteral("スキャン中…"), dialog);
    nameControl(*message, QStringLiteral("Message"), message->text());
    // Room for the sheet's words, so the dialog does not jump when they come.
    message->setMinimumWidth(twipsToPixels(4000));
    auto *bar = new QProgressBar(dialog);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setMinimumWidth(twipsToPixels(4000));
    nameControl(*bar, QStringLiteral("Progress"), message->text());
    auto *stop = new QPushButton(QStringLiteral("中止"), dialog);
    nameControl(*stop, QStringLiteral("Command"), stop->text());
    // An Enter meant for another window must not throw the scan away; Esc still cancels.
    stop->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(stop);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(message);
    layout->addWidget(bar);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // "中止", Esc and the close box all cancel.
    connect(stop, &QPushButton::clicked, dialog, &QDialog::reject);
    connect(dialog, &QDialog::rejected, this, &ScanController::cancel);
    m_progress = dialog;
    dialog->show();
}

bool ScanController::waitForFinished(int ms)
{
    return m_device->waitForFinished(ms);
}

void ScanController::cancel()
{
    m_device->cancel();
}

void ScanController::closeProgress()
{
    if (!m_progress)
        return;
    // An alert about a sheet opens over the dialog as its child: it stays when the dialog goes.
    for (QDialog *child : m_progress->findChildren<QDialog *>(Qt::FindDirectChildrenOnly)) {
        const bool shown = child->isVisible();
        child->setParent(m_progress->parentWidget(), child->windowFlags());
        if (shown)
            child->show();
    }
    delete m_progress;
}

void ScanController::showSheet(int sheet)
{
    // A single page needs no number; from the feeder the user follows the stack.
    if (!m_progress || !isFeederSource(m_settings.source))
        return;
    setLabelText(*m_progress->findChild<QLabel *>(), QStringLiteral("%1 枚目を読み取っています…").arg(sheet));
    auto *bar = m_progress->findChild<QProgressBar *>();
    bar->setRange(0, 100);
    bar->setValue(0);
}

void ScanController::showProgress(int percent)
{
    if (!m_progress)
        return;
    auto *bar = m_progress->findChild<QProgressBar *>();
    if (percent < 0)
        bar->setRange(0, 0); // height unknown: a busy bar
    else
        bar->setValue(percent);
}

} // namespace zumen
