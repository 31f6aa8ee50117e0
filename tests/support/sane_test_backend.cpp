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

// The test backend's options as every test starts them, all of them: the backend keeps
// values from an earlier start that the file does not name again. (Its own default resolution
// comes out near zero without a file.)
const QList<QPair<QString, QString>> Defaults = {
    {QStringLiteral("number_of_devices"), QStringLiteral("2")},
    {QStringLiteral("mode"), QStringLiteral("Gray")},
    {QStringLiteral("depth"), QStringLiteral("8")},
    {QStringLiteral("hand-scanner"), QStringLiteral("false")},
    {QStringLiteral("three-pass"), QStringLiteral("false")},
    {QStringLiteral("three-pass-order"), QStringLiteral("RGB")},
    {QStringLiteral("resolution_min"), QStringLiteral("1.0")},
    {QStringLiteral("resolution_max"), QStringLiteral("1200.0")},
    {QStringLiteral("resolution_quant"), QStringLiteral("1.0")},
    {QStringLiteral("resolution"), QStringLiteral("100.0")},
    {QStringLiteral("test-picture"), QStringLiteral("\"Grid\"")},
    {QStringLiteral("invert-endianess"), QStringLiteral("false")},
    {QStringLiteral("read-limit"), QStringLiteral("false")},
    {QStringLiteral("read-limit-size"), QStringLiteral("1")},
    {QStringLiteral("read-delay"), QStringLiteral("false")},
    {QStringLiteral("read-delay-duration"), QStringLiteral("1000")},
    {QStringLiteral("read-status-code"), QStringLiteral("\"Default\"")},
    {QStringLiteral("fuzzy-parameters"), QStringLiteral("false")},
    {QStringLiteral("ppl-loss"), QStringLiteral("0")},
    {QStringLiteral("non-blocking"), QStringLiteral("false")},
    {QStringLiteral("select-fd"), QStringLiteral("false")},
    {QStringLiteral("enable-test-options"), QStringLiteral("false")},
    {QStringLiteral("geometry_min"), QStringLiteral("0.0")},
    {QStringLiteral("geometry_max"), QStringLiteral("200.0")},
    {QStringLiteral("geometry_quant"), QStringLiteral("1.0")},
    {QStringLiteral("tl_x"), QStringLiteral("0.0")},
    {QStringLiteral("tl_y"), QStringLiteral("0.0")},
    {QStringLiteral("br_x"), QStringLiteral("80.0")},
    {QStringLiteral("br_y"), QStringLiteral("100.0")},
};

// The test backend's reader thread leaks its picture buffer when a scan is ended under it,
// as every scan ends (the test programs suppress that leak). The library unloads the backend at each
// shutdown, and a leak in an unloaded module cannot be told from any other; so the backend
// is kept loaded for the whole run. It sits beside the library, in its "sane" folder.
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

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

} // namespace

QString SaneTestBackend::folder()
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

SaneTestBackend::SaneTestBackend() : m_options(Defaults)
{
    write();
}

SaneTestBackend::~SaneTestBackend()
{
    m_options = Defaults;
    m_backend = true;
    write();
}

void SaneTestBackend::setOption(const QString &name, const QString &value)
{
    m_options.append({name, value});
    write();
}

void SaneTestBackend::removeBackend()
{
    m_backend = false;
    write();
}

void SaneTestBackend::write() const
{
    const QString dir = folder();
    writeFile(dir + QStringLiteral("/dll.conf"), m_backend ? "test\n" : "");
    QByteArray conf;
    for (const auto &[name, value] : m_options)
        conf += (name + u' ' + value + u'\n').toUtf8();
    writeFile(dir + QStringLiteral("/test.conf"), conf);
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
        const int modeAt = modes->findText(mode);
        const int dpiAt = resolutions->findData(dpi);
        EXPECT_GE(modeAt, 0) << "no mode " << mode.toStdString();
        EXPECT_GE(dpiAt, 0) << "no resolution " << dpi;
        modes->setCurrentIndex(modeAt);
        resolutions->setCurrentIndex(dpiAt);
        pressKey(dialog, accept ? Qt::Key_Return : Qt::Key_Escape);
    });
}
