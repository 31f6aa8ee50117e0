#include "pages/scan_settings.h"

#include "db/database.h"
#include "db/options_store.h"
#include "text/utility.h"
#include "widgets/combo_setting.h"
#include "widgets/ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>

namespace zumen {

namespace {

const ScanMode AllModes[] = {ScanMode::Mono, ScanMode::Gray, ScanMode::Color};

void selectData(QComboBox &box, const QVariant &data)
{
    const int at = box.findData(data);
    box.setCurrentIndex(at >= 0 ? at : 0);
}

} // namespace

QString modeCaption(ScanMode mode)
{
    switch (mode) {
    case ScanMode::Mono:
        return QStringLiteral("白黒");
    case ScanMode::Gray:
        return QStringLiteral("グレー");
    case ScanMode::Color:
        return QStringLiteral("カラー");
    }
    return {};
}

QString deviceValueCaption(const QString &value)
{
    static const std::pair<const char *, const char16_t *> captions[] = {
        {"Flatbed", u"フラットベッド"},
        {"Automatic Document Feeder", u"自動原稿送り装置 (ADF)"},
        {"ADF", u"自動原稿送り装置 (ADF)"},
        {"ADF Front", u"自動原稿送り装置 (ADF) 表面"},
        {"ADF Back", u"自動原稿送り装置 (ADF) 裏面"},
        {"ADF Duplex", u"自動原稿送り装置 (ADF) 両面"},
        {"Transparency Adapter", u"透過原稿ユニット"},
        {"Transparency Unit", u"透過原稿ユニット"},
        {"Negative Film", u"ネガフィルム"},
        {"Lineart", u"白黒"},
        {"Halftone", u"ハーフトーン"},
        {"Gray", u"グレー"},
        {"Color", u"カラー"},
    };
    for (const auto &[english, japanese] : captions) {
        if (value == QLatin1String(english))
            return QString::fromUtf16(japanese);
    }
    return value;
}

ScanSettings loadScanSettings(OptionsStore &options)
{
    ScanSettings settings;
    settings.device = options.read(OptionCode::ScanDevice);
    const QString mode = options.read(OptionCode::ScanMode);
    for (ScanMode m : AllModes) {
        if (mode == modeCaption(m))
            settings.mode = m;
    }
    bool ok = false;
    const int resolution = options.read(OptionCode::ScanResolution).toInt(&ok);
    if (ok && resolution > 0)
        settings.resolution = resolution;
    settings.source = options.read(OptionCode::ScanSource);
    settings.paperSize = options.read(OptionCode::ScanPaperSize);
    settings.deskew = options.read(OptionCode::ScanDeskew) == QLatin1String("1");
    settings.skipBlank = options.read(OptionCode::ScanSkipBlank) == QLatin1String("1");
    return settings;
}

void saveScanSettings(OptionsStore &options, const ScanSettings &settings)
{
    options.write(
        {{OptionCode::ScanDevice, settings.device},
         {OptionCode::ScanMode, modeCaption(settings.mode)},
         {OptionCode::ScanResolution, QString::number(settings.resolution)},
         {OptionCode::ScanSource, settings.source},
         {OptionCode::ScanPaperSize, settings.paperSize},
         {OptionCode::ScanDeskew, settings.deskew ? QStringLiteral("1") : QStringLiteral("0")},
         {OptionCode::ScanSkipBlank, settings.skipBlank ? QStringLiteral("1") : QStringLiteral("0")}});
}

ScanSettings_frm::ScanSettings_frm(const QList<ScanDevice> &devices, const ScanSettings &initial, Probe probe,
                                   QWidget *parent)
    : QDialog(parent), m_probe(std::move(probe)), m_wanted(initial), m_device(new NamedComboBox(this)),
      m_mode(new NamedComboBox(this)), m_resolution(new NamedComboBox(this)), m_sourceLabel(new QLabel(this)),
      m_source(new NamedComboBox(this)), m_paper(new NamedComboBox(this)), m_deskew(new QCheckBox(this)),
      m_skipBlank(new QCheckBox(this)), m_accept(new QPushButton(this)), m_cancel(new QPushButton(this))
{
    setWindowTitle(QStringLiteral("スキャナの設定"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFont(windowFont(ProportionalGothic, 9));
    nameControl(*this, QStringLiteral("ScanSettings_frm"), windowTitle());

    auto *grid = new QGridLayout;
    const QString captions[] = {QStringLiteral("スキャナ"), QStringLiteral("モード"),
                                QStringLiteral("解像度"), QStringLiteral("給紙"), QStringLiteral("用紙")};
    const std::pair<QComboBox *, QString> boxes[] = {{m_device, QStringLiteral("cDevice")},
                                                     {m_mode, QStringLiteral("cMode")},
                                                     {m_resolution, QStringLiteral("cResolution")},
                                                     {m_source, QStringLiteral("cSource")},
                                                     {m_paper, QStringLiteral("cPaper")}};
    for (int i = 0; i < 5; ++i) {
        QLabel *label = i == 3 ? m_sourceLabel : new QLabel(this);
        label->setText(captions[i]);
        nameControl(*label, QStringLiteral("Label(%1)").arg(i), captions[i]);
        nameControl(*boxes[i].first, boxes[i].second, captions[i]);
        label->setBuddy(boxes[i].first);
        grid->addWidget(label, i, 0);
        grid->addWidget(boxes[i].first, i, 1);
    }
    m_device->setMinimumWidth(twipsToPixels(4800));
    const std::pair<QCheckBox *, QString> checks[] = {{m_deskew, QStringLiteral("傾き補正")},
                                                      {m_skipBlank, QStringLiteral("白紙を除く")}};
    for (int i = 0; i < 2; ++i) {
        checks[i].first->setText(checks[i].second);
        nameControl(*checks[i].first, QStringLiteral("Check(%1)").arg(i), checks[i].second);
        grid->addWidget(checks[i].first, 5 + i, 1);
    }
    m_deskew->setChecked(initial.deskew);
    m_skipBlank->setChecked(initial.skipBlank);

    m_accept->setText(QStringLiteral("読み取り"));
    nameControl(*m_accept, QStringLiteral("Command(0)"), m_accept->text());
    m_accept->setDefault(true);
    connect(m_accept, &QPushButton::clicked, this, &QDialog::accept);
    m_cancel->setText(QStringLiteral("取り消し"));
    nameControl(*m_cancel, QStringLiteral("Command(1)"), m_cancel->text());
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_accept);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (const ScanDevice &device : devices)
        m_device->addItem(device.label, device.name);
    // A remembered device that has gone falls back to the first one.
    selectData(*m_device, initial.device);
    showCapabilities();
    // The paper size the user picked, kept for devices that take it even past one that does not.
    connect(m_paper, &QComboBox::activated, this,
            [this] { m_wanted.paperSize = m_paper->currentData().toString(); });
    connect(m_device, &QComboBox::currentIndexChanged, this, [this] {
        // Keep what the user picked so far where the other device offers it too.
        const QString paper = m_wanted.paperSize;
        m_wanted = settings();
        m_wanted.paperSize = paper;
        showCapabilities();
    });
    m_device->setFocus();
}

ScanSettings ScanSettings_frm::settings() const
{
    ScanSettings s;
    s.device = m_device->currentData().toString();
    if (m_mode->currentIndex() >= 0)
        s.mode = static_cast<ScanMode>(m_mode->currentData().toInt());
    if (m_resolution->currentIndex() >= 0)
        s.resolution = m_resolution->currentData().toInt();
    s.source = m_source->count() > 0 ? m_source->currentData().toString() : QString();
    s.paperSize = m_paper->count() > 0 ? m_paper->currentData().toString() : paperAuto();
    s.deskew = m_deskew->isChecked();
    s.skipBlank = m_skipBlank->isChecked();
    return s;
}

void ScanSettings_frm::showCapabilities()
{
    DeviceCapabilities caps =
        m_probe && m_device->count() > 0 ? m_probe(m_device->currentData().toString()) : DeviceCapabilities();
    if (caps.modes.isEmpty())
        caps.modes = DeviceCapabilities().modes;
    if (caps.resolutions.isEmpty())
        caps.resolutions = {m_wanted.resolution};

    m_mode->clear();
    for (ScanMode mode : caps.modes)
        m_mode->addItem(modeCaption(mode), static_cast<int>(mode));
    selectData(*m_mode, static_cast<int>(m_wanted.mode));

    m_resolution->clear();
    int nearest = caps.resolutions.first();
    for (int dpi : caps.resolutions) {
        m_resolution->addItem(QStringLiteral("%1 dpi").arg(dpi), dpi);
        if (std::abs(dpi - m_wanted.resolution) < std::abs(nearest - m_wanted.resolution))
            nearest = dpi;
    }
    selectData(*m_resolution, nearest);

    // Shown in Japanese; the device's own word is what is stored and sent.
    m_source->clear();
    for (const QString &source : caps.sources)
        m_source->addItem(deviceValueCaption(source), source);
    selectData(*m_source, m_wanted.source);
    m_source->setVisible(!caps.sources.isEmpty());
    m_sourceLabel->setVisible(!caps.sources.isEmpty());

    // Only the sheets the device can take whole; half a millimetre allows for its rounding.
    m_paper->clear();
    m_paper->addItem(paperAuto(), paperAuto());
    for (const PaperSize &size : paperSizes()) {
        if (size.mm.width() <= caps.maxArea.width() + 0.5 && size.mm.height() <= caps.maxArea.height() + 0.5)
            m_paper->addItem(size.name, size.name);
    }
    if (!caps.maxArea.isEmpty())
        m_paper->addItem(paperLargest(), paperLargest());
    selectData(*m_paper, m_wanted.paperSize);
}

} // namespace zumen
