#include "support/sane_test_backend.h"

#include "support/modal.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>
#include <sane/sane.h>

#include <dlfcn.h>

namespace {

// Every option of the test backend, as each test starts: the backend keeps values from an
// earlier start that the file does not name again (and its own default resolution is near 0).
const QStringList Defaults = {"number_of_devices 2",
                              "mode Gray",
                              "depth 8",
                              "hand-scanner false",
                              "three-pass false",
                              "three-pass-order RGB",
                              "resolution_min 1.0",
                              "resolution_max 1200.0",
                              "resolution_quant 1.0",
                              "resolution 100.0",
                              "test-picture \"Grid\"",
                              "invert-endianess false",
                              "read-limit false",
                              "read-limit-size 1",
                              "read-delay false",
                              "read-delay-duration 1000",
                              "read-status-code \"Default\"",
                              "fuzzy-parameters false",
                              "ppl-loss 0",
                              "non-blocking false",
                              "select-fd false",
                              "enable-test-options false",
                              "geometry_min 0.0",
                              "geometry_max 200.0",
                              "geometry_quant 1.0",
                              "tl_x 0.0",
                              "tl_y 0.0",
                              "br_x 80.0",
                              "br_y 100.0"};

// The backend's reader thread leaks its picture buffer when a scan is ended under it (the
// test programs suppress that leak); unloaded, its leaks could not be told from others. So it
// stays loaded for the whole run; it sits beside the library, in its "sane" folder.
void keepBackendLoaded()
{
    Dl_info library{};
    if (!dladdr(reinterpret_cast<void *>(&sane_init), &library) || !library.dli_fname)
        return;
    const QString path = QFileInfo(QFile::decodeName(library.dli_fname)).absolutePath() +
                         QStringLiteral("/sane/libsane-test.so.1");
    if (!dlopen(QFile::encodeName(path).constData(), RTLD_NOW))
        ADD_FAILURE() << "cannot load " << path.toStdString();
}

QString folder()
{
    static QTemporaryDir dir;
    static const bool pointed = [] {
        // No trailing colon: the library then reads this folder only, never /etc/sane.d.
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir.path()));
        keepBackendLoaded();
        return true;
    }();
    Q_UNUSED(pointed);
    return dir.path();
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

} // namespace

SaneTestBackend::SaneTestBackend() : m_lines(Defaults)
{
    write();
}

SaneTestBackend::~SaneTestBackend()
{
    m_lines = Defaults;
    m_backend = true;
    write();
}

void SaneTestBackend::setOption(const QString &name, const QString &value)
{
    m_lines << name + u' ' + value;
    write();
}

void SaneTestBackend::removeBackend()
{
    m_backend = false;
    write();
}

void SaneTestBackend::write() const
{
    writeFile(folder() + QStringLiteral("/dll.conf"), m_backend ? "test\n" : "");
    writeFile(folder() + QStringLiteral("/test.conf"), (m_lines.join(u'\n') + u'\n').toUtf8());
}

void answerScanSettings(const QString &mode, int dpi, bool accept, const QString &device)
{
    whenModal([=](QWidget *dialog) {
        auto *devices = dialog->findChild<QComboBox *>(QStringLiteral("cDevice"));
        auto *modes = dialog->findChild<QComboBox *>(QStringLiteral("cMode"));
        auto *resolutions = dialog->findChild<QComboBox *>(QStringLiteral("cResolution"));
        if (!devices || !modes || !resolutions) {
            ADD_FAILURE() << "the modal window is no scanner settings dialog";
            dialog->close();
            return;
        }
        if (!device.isEmpty())
            devices->setCurrentIndex(devices->findData(device));
        modes->setCurrentIndex(modes->findText(mode));
        resolutions->setCurrentIndex(resolutions->findData(dpi));
        EXPECT_GE(modes->currentIndex(), 0) << "no mode " << mode.toStdString();
        EXPECT_GE(resolutions->currentIndex(), 0) << "no resolution " << dpi;
        pressKey(dialog, accept ? Qt::Key_Return : Qt::Key_Escape);
    });
}
