#include "scan/scan_service.h"

#include "imaging/blank_page.h"
#include "imaging/deskew.h"
#include "imaging/page_error.h"
#include "scan/scan_page.h"
#include "text/log.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <vector>

namespace zumen {

namespace {

// The library is shared by the whole process: started with the first service that needs it,
// shut down with the last one that goes.
int libraryUsers = 0;
// Scans running in any service: while one runs, no other call may reach the library.
int scansRunning = 0;

bool startSharedLibrary()
{
    if (libraryUsers == 0) {
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD)
            return false;
    }
    ++libraryUsers;
    return true;
}

void stopLibrary()
{
    if (--libraryUsers == 0)
        sane_exit();
}

SANE_Handle handleOf(void *handle)
{
    return static_cast<SANE_Handle>(handle);
}

// One option of the open device, found by its well-known name.
struct Option {
    SANE_Int index = 0;
    const SANE_Option_Descriptor *desc = nullptr;
};

Option findOption(SANE_Handle handle, const char *name)
{
    SANE_Int count = 0;
    if (sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return {};
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor *desc = sane_get_option_descriptor(handle, i);
        if (desc && desc->name && qstrcmp(desc->name, name) == 0)
            return {i, desc};
    }
    return {};
}

bool settable(const Option &option)
{
    return option.desc && SANE_OPTION_IS_ACTIVE(option.desc->cap) &&
           SANE_OPTION_IS_SETTABLE(option.desc->cap);
}

bool isNumber(const Option &option)
{
    return option.desc->type == SANE_TYPE_INT || option.desc->type == SANE_TYPE_FIXED;
}

QStringList stringList(const Option &option)
{
    QStringList list;
    if (option.desc && option.desc->type == SANE_TYPE_STRING &&
        option.desc->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
        for (const SANE_String_Const *s = option.desc->constraint.string_list; s && *s; ++s)
            list << QString::fromUtf8(*s);
    }
    return list;
}

// The device's own word for a mode, or "" when it has none: 白黒 asks for a line-art mode only,
// since grey at one bit is the fallback the caller picks.
QString modeValue(const Option &mode, ScanMode wanted)
{
    QStringList names;
    switch (wanted) {
    case ScanMode::Mono:
        names = {SANE_VALUE_SCAN_MODE_LINEART, QStringLiteral("Binary")};
        break;
    case ScanMode::Gray:
        names = {SANE_VALUE_SCAN_MODE_GRAY, QStringLiteral("Grayscale")};
        break;
    case ScanMode::Color:
        names = {SANE_VALUE_SCAN_MODE_COLOR};
        break;
    }
    for (const QString &value : stringList(mode)) {
        if (names.contains(value, Qt::CaseInsensitive))
            return value;
    }
    return {};
}

SANE_Word toWord(const Option &option, int value)
{
    return option.desc->type == SANE_TYPE_FIXED ? SANE_FIX(value) : value;
}

int fromWord(const Option &option, SANE_Word word)
{
    return option.desc->type == SANE_TYPE_FIXED ? qRound(SANE_UNFIX(word)) : word;
}

bool allows(const Option &option, int value)
{
    const SANE_Word word = toWord(option, value);
    switch (option.desc->constraint_type) {
    case SANE_CONSTRAINT_RANGE: {
        const SANE_Range *range = option.desc->constraint.range;
        return word >= range->min && word <= range->max &&
               (range->quant == 0 || (word - range->min) % range->quant == 0);
    }
    case SANE_CONSTRAINT_WORD_LIST: {
        const SANE_Word *list = option.desc->constraint.word_list;
        for (SANE_Word i = 1; i <= list[0]; ++i) {
            if (list[i] == word)
                return true;
        }
        return false;
    }
    default:
        return true;
    }
}

// The usual resolutions the device can do; failing those, whatever it offers.
QList<int> resolutionsOf(const Option &option)
{
    QList<int> offered;
    if (!option.desc || !isNumber(option))
        return offered;
    for (int dpi : DeviceCapabilities().resolutions) {
        if (allows(option, dpi))
            offered << dpi;
    }
    if (!offered.isEmpty())
        return offered;
    if (option.desc->constraint_type == SANE_CONSTRAINT_RANGE) {
        offered << fromWord(option, option.desc->constraint.range->min)
                << fromWord(option, option.desc->constraint.range->max);
    } else if (option.desc->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
        const SANE_Word *list = option.desc->constraint.word_list;
        for (SANE_Word i = 1; i <= list[0]; ++i)
            offered << fromWord(option, list[i]);
    }
    return offered;
}

QSizeF maxAreaOf(SANE_Handle handle);

DeviceCapabilities readCapabilities(SANE_Handle handle)
{
    DeviceCapabilities caps;
    const Option mode = findOption(handle, SANE_NAME_SCAN_MODE);
    if (!stringList(mode).isEmpty()) {
        // Any device gives grey or better, and 白黒 and グレー can be made from that.
        caps.modes = {ScanMode::Mono, ScanMode::Gray};
        if (!modeValue(mode, ScanMode::Color).isEmpty())
            caps.modes << ScanMode::Color;
    }
    const QList<int> resolutions = resolutionsOf(findOption(handle, SANE_NAME_SCAN_RESOLUTION));
    if (!resolutions.isEmpty())
        caps.resolutions = resolutions;
    const Option source = findOption(handle, SANE_NAME_SCAN_SOURCE);
    if (settable(source))
        caps.sources = stringList(source);
    caps.maxArea = maxAreaOf(handle);
    return caps;
}

SANE_Status setString(SANE_Handle handle, const Option &option, const QString &value)
{
    // The library may write the value back, so the buffer is the option's full size.
    QByteArray buffer = value.toUtf8();
    buffer.resize(std::max<qsizetype>(option.desc->size, buffer.size() + 1), '\0');
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
}

SANE_Status setNumber(SANE_Handle handle, const Option &option, int value)
{
    std::vector<SANE_Word> words(std::max<size_t>(1, option.desc->size / sizeof(SANE_Word)),
                                 toWord(option, value));
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, words.data(), nullptr);
}

std::optional<int> numberValue(SANE_Handle handle, const Option &option)
{
    std::vector<SANE_Word> words(std::max<size_t>(1, option.desc->size / sizeof(SANE_Word)));
    if (sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, words.data(), nullptr) !=
        SANE_STATUS_GOOD)
        return std::nullopt;
    return fromWord(option, words.front());
}

// The scan area's options, left, top, right, bottom; their numbers are mm, or pixels at the
// resolution set.
const char *const AreaNames[] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                                 SANE_NAME_SCAN_BR_Y};

bool isAreaOption(const Option &option)
{
    return settable(option) && isNumber(option) && option.desc->constraint_type == SANE_CONSTRAINT_RANGE &&
           (option.desc->unit == SANE_UNIT_MM || option.desc->unit == SANE_UNIT_PIXEL);
}

double unitsOf(const Option &option, SANE_Word word)
{
    return option.desc->type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : word;
}

double mmPerUnit(const Option &option, int dpi)
{
    return option.desc->unit == SANE_UNIT_MM ? 1.0 : 25.4 / std::max(1, dpi);
}

int currentResolution(SANE_Handle handle)
{
    const Option resolution = findOption(handle, SANE_NAME_SCAN_RESOLUTION);
    return resolution.desc && isNumber(resolution) ? numberValue(handle, resolution).value_or(0) : 0;
}

// All the device can scan, in mm: from the left and top edges' least to the right and bottom
// edges' most. Empty when the device has no area options.
QSizeF maxAreaOf(SANE_Handle handle)
{
    const int dpi = currentResolution(handle);
    double extent[2] = {};
    for (int axis = 0; axis < 2; ++axis) {
        const Option start = findOption(handle, AreaNames[axis]);
        const Option end = findOption(handle, AreaNames[axis + 2]);
        if (!isAreaOption(start) || !isAreaOption(end))
            return {};
        extent[axis] = (unitsOf(end, end.desc->constraint.range->max) -
                        unitsOf(start, start.desc->constraint.range->min)) *
                       mmPerUnit(end, dpi);
    }
    return {extent[0], extent[1]};
}

// The area options' values as the device has them now; empty when it has none.
QList<int> readArea(SANE_Handle handle)
{
    QList<int> words;
    for (const char *name : AreaNames) {
        const Option option = findOption(handle, name);
        SANE_Word word = 0;
        if (!isAreaOption(option) || option.desc->size != sizeof(SANE_Word) ||
            sane_control_option(handle, option.index, SANE_ACTION_GET_VALUE, &word, nullptr) !=
                SANE_STATUS_GOOD)
            return {};
        words << word;
    }
    return words;
}

SANE_Status setWord(SANE_Handle handle, const Option &option, SANE_Word word)
{
    const SANE_Range *range = option.desc->constraint.range;
    if (range->quant > 0)
        word = range->min + SANE_Word(std::lround(double(word - range->min) / range->quant)) * range->quant;
    word = std::clamp(word, range->min, range->max);
    return sane_control_option(handle, option.index, SANE_ACTION_SET_VALUE, &word, nullptr);
}

// Sets the scan area for the paper size: a sheet from the top left corner, the whole area, or
// the area the device opened with (defaultArea, as readArea gave it).
SANE_Status applyArea(SANE_Handle handle, const QString &paper, int dpi, const QList<int> &defaultArea)
{
    QSizeF sheet;
    for (const PaperSize &size : paperSizes()) {
        if (size.name == paper)
            sheet = size.mm;
    }
    const bool largest = paper == paperLargest();
    if (!largest && sheet.isEmpty() && defaultArea.size() != 4)
        return SANE_STATUS_GOOD;
    // The top left corner first: a right edge left of the left one is refused by some devices.
    for (int i = 0; i < 4; ++i) {
        const Option option = findOption(handle, AreaNames[i]);
        if (!isAreaOption(option) || option.desc->size != sizeof(SANE_Word))
            return SANE_STATUS_GOOD; // a device without an area scans what it scans
        const SANE_Range *range = option.desc->constraint.range;
        SANE_Word word = range->min;
        if (largest && i >= 2) {
            word = range->max;
        } else if (!largest && sheet.isEmpty()) {
            word = defaultArea[i];
        } else if (i >= 2) {
            const double units = unitsOf(option, range->min) +
                                 (i == 2 ? sheet.width() : sheet.height()) / mmPerUnit(option, dpi);
            word = option.desc->type == SANE_TYPE_FIXED ? SANE_FIX(units) : SANE_Word(std::lround(units));
        }
        const SANE_Status status = setWord(handle, option, word);
        if (status != SANE_STATUS_GOOD)
            return status;
    }
    return SANE_STATUS_GOOD;
}

// Puts the settings into the device. dpi becomes the resolution the device settled on.
SANE_Status applySettings(SANE_Handle handle, const ScanSettings &settings, int &dpi,
                          const QList<int> &defaultArea)
{
    // Setting one option can change the others, so each is looked up afresh.
    const Option mode = findOption(handle, SANE_NAME_SCAN_MODE);
    bool lineArt = false;
    if (settable(mode)) {
        QString value = modeValue(mode, settings.mode);
        lineArt = settings.mode == ScanMode::Mono && !value.isEmpty();
        if (value.isEmpty())
            value = modeValue(mode, ScanMode::Gray);
        if (!value.isEmpty()) {
            const SANE_Status status = setString(handle, mode, value);
            if (status != SANE_STATUS_GOOD)
                return status;
        }
    }
    // 白黒 without a line-art mode reads grey at one bit if it can; the page is made bilevel
    // afterwards in any case.
    const Option depth = findOption(handle, SANE_NAME_BIT_DEPTH);
    if (!lineArt && settable(depth) && isNumber(depth)) {
        const int bits = settings.mode == ScanMode::Mono && allows(depth, 1) ? 1 : 8;
        if (allows(depth, bits)) {
            const SANE_Status status = setNumber(handle, depth, bits);
            if (status != SANE_STATUS_GOOD)
                return status;
        }
    }
    dpi = settings.resolution;
    const Option resolution = findOption(handle, SANE_NAME_SCAN_RESOLUTION);
    if (settable(resolution) && isNumber(resolution)) {
        const SANE_Status status = setNumber(handle, resolution, settings.resolution);
        if (status != SANE_STATUS_GOOD)
            return status;
        dpi = numberValue(handle, resolution).value_or(settings.resolution);
    }
    const Option source = findOption(handle, SANE_NAME_SCAN_SOURCE);
    if (!settings.source.isEmpty() && settable(source)) {
        const SANE_Status status = setString(handle, source, settings.source);
        if (status != SANE_STATUS_GOOD)
            return status;
    }
    return applyArea(handle, settings.paperSize, dpi, defaultArea);
}

} // namespace

// Scans on its own thread: one page, or from a feeder sheet after sheet until it is empty. It
// touches the device only inside run(), and the UI thread leaves the device alone until done()
// has arrived.
class ScanWorker : public QObject {
    Q_OBJECT
public:
    ScanWorker(SANE_Handle handle, const ScanSettings &settings, const std::atomic_bool &cancel)
        : m_handle(handle), m_mode(settings.mode), m_feeder(isFeederSource(settings.source)),
          m_skipBlank(m_feeder && settings.skipBlank), m_deskew(settings.deskew), m_cancel(cancel)
    {}

    void run()
    {
        SANE_Status status = SANE_STATUS_GOOD;
        int kept = 0, skipped = 0;
        for (int sheet = 1; status == SANE_STATUS_GOOD; ++sheet) {
            emit sheetStarted(sheet);
            m_total = m_received = 0;
            m_percent = -2;
            std::vector<ScanFrame> frames;
            try {
                status = scan(frames);
            } catch (const std::bad_alloc &) {
                status = SANE_STATUS_NO_MEM;
            }
            // The feeder ran empty after the last sheet: that is the end of the batch.
            if (status == SANE_STATUS_NO_DOCS && sheet > 1) {
                status = SANE_STATUS_GOOD;
                break;
            }
            QImage page;
            if (status == SANE_STATUS_GOOD && !m_cancel)
                status = assemblePage(frames, m_mode, page);
            if (status != SANE_STATUS_GOOD || m_cancel)
                break;
            frames.clear(); // the page holds its own copy: one sheet in memory, not two
            // Here on the worker's thread, so a large page does not hold up the windows.
            if (m_deskew)
                page = deskew(page).image;
            if (m_skipBlank && isBlankPage(page)) {
                ++skipped;
            } else {
                ++kept;
                emit sheetScanned(page);
            }
            if (!m_feeder)
                break;
        }
        // Ends the scan whatever happened, so the device is ready for the next one.
        sane_cancel(m_handle);
        emit done(m_cancel ? SANE_STATUS_CANCELLED : status, kept, skipped);
    }

signals:
    // The sheet (counted from 1, blank ones too) whose reading begins.
    void sheetStarted(int sheet);
    // Percent of the sheet read, or -1 while the height is not known.
    void progress(int percent);
    void sheetScanned(QImage page);
    void done(int status, int sheets, int skipped);

private:
    // A page larger than this is no drawing but a device sending without end.
    static constexpr qint64 MaxFrameBytes = qint64{4} << 30;

    SANE_Status scan(std::vector<ScanFrame> &frames)
    {
        for (;;) {
            if (m_cancel)
                return SANE_STATUS_CANCELLED;
            SANE_Status status = sane_start(m_handle);
            // An empty feeder: some devices say end of data instead of no paper.
            if (status == SANE_STATUS_EOF)
                return SANE_STATUS_NO_DOCS;
            if (status != SANE_STATUS_GOOD)
                return status;
            SANE_Parameters p{};
            status = sane_get_parameters(m_handle, &p);
            if (status != SANE_STATUS_GOOD)
                return status;
            if (!frameReadable(p))
                return SANE_STATUS_UNSUPPORTED;
            if (frames.empty()) {
                const bool threePass = p.format != SANE_FRAME_GRAY && p.format != SANE_FRAME_RGB;
                m_total = p.lines > 0 ? qint64{p.bytes_per_line} * p.lines * (threePass ? 3 : 1) : 0;
            }
            ScanFrame frame{p.format, p.depth, p.pixels_per_line, p.bytes_per_line, p.lines, {}};
            status = read(frame);
            if (status != SANE_STATUS_GOOD)
                return status;
            frames.push_back(std::move(frame));
            if (p.last_frame)
                return SANE_STATUS_GOOD;
            // Three colours make a page; a device that sends more is not one we understand.
            if (frames.size() >= 3)
                return SANE_STATUS_UNSUPPORTED;
        }
    }

    SANE_Status read(ScanFrame &frame)
    {
        if (frame.lines > 0)
            frame.data.reserve(std::min(qint64{frame.bytesPerLine} * frame.lines, MaxFrameBytes));
        std::vector<SANE_Byte> buffer(64 * 1024);
        for (;;) {
            if (m_cancel)
                return SANE_STATUS_CANCELLED;
            SANE_Int length = 0;
            const SANE_Status status =
                sane_read(m_handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &length);
            if (status == SANE_STATUS_EOF)
                return SANE_STATUS_GOOD;
            if (status != SANE_STATUS_GOOD)
                return status;
            if (frame.data.size() + length > MaxFrameBytes)
                return SANE_STATUS_NO_MEM;
            frame.data.append(reinterpret_cast<const char *>(buffer.data()), length);
            m_received += length;
            const int percent =
                m_total > 0 ? static_cast<int>(std::min<qint64>(100, m_received * 100 / m_total)) : -1;
            if (percent != m_percent) {
                m_percent = percent;
                emit progress(percent);
            }
        }
    }

    SANE_Handle m_handle;
    ScanMode m_mode;
    bool m_feeder;
    bool m_skipBlank;
    bool m_deskew;
    const std::atomic_bool &m_cancel;
    qint64 m_total = 0;
    qint64 m_received = 0;
    int m_percent = -2;
};

QString scanErrorText(int number)
{
    switch (number) {
    case PageErr::NoScanner:
        return QStringLiteral("スキャナを正しく接続してください。");
    case SANE_STATUS_UNSUPPORTED:
        return QStringLiteral("スキャナがこの読み取りに対応していません。");
    case SANE_STATUS_DEVICE_BUSY:
        return QStringLiteral("スキャナは使用中です。");
    case SANE_STATUS_INVAL:
        return QStringLiteral("スキャナの設定が正しくありません。");
    case SANE_STATUS_JAMMED:
        return QStringLiteral("紙が詰まりました。");
    case SANE_STATUS_NO_DOCS:
        return QStringLiteral("原稿がありません。");
    case SANE_STATUS_COVER_OPEN:
        return QStringLiteral("スキャナのカバーが開いています。");
    case SANE_STATUS_IO_ERROR:
        return QStringLiteral("スキャナとの通信に失敗しました。");
    case SANE_STATUS_NO_MEM:
        return QStringLiteral("メモリが足りません。");
    case SANE_STATUS_ACCESS_DENIED:
        return QStringLiteral("スキャナを使う権限がありません。");
    default:
        return QStringLiteral("スキャナでエラーが発生しました。");
    }
}

ScanService::ScanService(QObject *parent) : QObject(parent)
{}

ScanService::~ScanService()
{
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
        delete m_worker;
        m_worker = nullptr;
        delete m_thread;
        m_thread = nullptr;
        --scansRunning;
    }
    close();
    if (m_libraryStarted)
        stopLibrary();
}

bool ScanService::busy()
{
    return scansRunning > 0;
}

bool ScanService::startLibrary()
{
    if (!m_libraryStarted)
        m_libraryStarted = startSharedLibrary();
    return m_libraryStarted;
}

QList<ScanDevice> ScanService::devices()
{
    QList<ScanDevice> devices;
    const SANE_Device **list = nullptr;
    if (busy() || !startLibrary() || sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return devices;
    for (const SANE_Device **d = list; *d; ++d) {
        const QString name = QString::fromUtf8((*d)->name);
        devices.append(
            {name, QStringLiteral("%1 %2 (%3)")
                       .arg(QString::fromUtf8((*d)->vendor), QString::fromUtf8((*d)->model), name)});
    }
    return devices;
}

DeviceCapabilities ScanService::capabilities(const QString &device)
{
    if (!open(device))
        return {};
    return readCapabilities(handleOf(m_handle));
}

bool ScanService::open(const QString &device)
{
    if (m_handle && m_deviceName == device)
        return true;
    if (busy() || !startLibrary())
        return false;
    close();
    SANE_Handle handle = nullptr;
    const SANE_Status status = sane_open(device.toUtf8().constData(), &handle);
    if (status != SANE_STATUS_GOOD || !handle) {
        qCWarning(logScan).noquote() << "device" << device << "did not open:" << sane_strstatus(status);
        return false;
    }
    m_handle = handle;
    m_deviceName = device;
    m_defaultArea = readArea(handle);
    return true;
}

void ScanService::close()
{
    if (!m_handle || m_thread)
        return;
    sane_close(handleOf(m_handle));
    m_handle = nullptr;
    m_deviceName.clear();
}

void ScanService::start(const ScanSettings &settings)
{
    if (m_status != Status::Idle || busy())
        return;
    if (!m_handle) {
        fail(PageErr::NoScanner);
        return;
    }
    const SANE_Status status = applySettings(handleOf(m_handle), settings, m_dpi, m_defaultArea);
    if (status != SANE_STATUS_GOOD) {
        fail(status);
        return;
    }

    m_cancel = false;
    m_status = Status::Scanning;
    m_reportPending = true;
    ++scansRunning;
    m_thread = new QThread;
    m_sheets = 0;
    m_worker = new ScanWorker(handleOf(m_handle), settings, m_cancel);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_worker, &ScanWorker::run);
    // The thread ends by itself once the last sheet is read, so waiting for it never blocks long.
    connect(m_worker, &ScanWorker::done, m_thread, &QThread::quit, Qt::DirectConnection);
    connect(m_worker, &ScanWorker::done, this, &ScanService::workerDone, Qt::QueuedConnection);
    connect(m_worker, &ScanWorker::progress, this, &ScanService::progress, Qt::QueuedConnection);
    connect(m_worker, &ScanWorker::sheetStarted, this, &ScanService::sheetStarted, Qt::QueuedConnection);
    // A sheet cancelled meanwhile is still handed over: it was read whole, and the user keeps it.
    connect(
        m_worker, &ScanWorker::sheetScanned, this,
        [this](const QImage &page) {
            ++m_sheets;
            emit pageScanned(page, m_dpi);
        },
        Qt::QueuedConnection);
    m_thread->start();
}

bool ScanService::waitForFinished(int ms)
{
    if (!m_reportPending)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &ScanService::batchFinished, &loop, &QEventLoop::quit);
    connect(this, &ScanService::scanFailed, &loop, &QEventLoop::quit);
    connect(this, &ScanService::scanCancelled, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec();
    return !m_reportPending;
}

void ScanService::cancel()
{
    if (m_status != Status::Scanning)
        return;
    m_cancel = true;
    m_status = Status::Cancelling;
}

void ScanService::workerDone(int status, int sheets, int skipped)
{
    m_thread->wait();
    delete m_worker;
    m_worker = nullptr;
    delete m_thread;
    m_thread = nullptr;
    --scansRunning;

    const bool cancelled = m_cancel || status == SANE_STATUS_CANCELLED;
    m_status = Status::Idle;
    m_reportPending = false;
    if (cancelled) {
        qCInfo(logScan) << "scan cancelled after" << m_sheets << "sheets";
        emit scanCancelled();
    } else if (status == SANE_STATUS_GOOD) {
        if (skipped > 0)
            qCInfo(logScan) << "batch of" << sheets << "sheets," << skipped << "blank ones left out";
        emit batchFinished(sheets, skipped);
    } else {
        qCWarning(logScan).noquote() << "scan on" << m_deviceName << "failed after" << m_sheets
                                     << "sheets:" << status << scanErrorText(status);
        close();
        emit scanFailed(status, scanErrorText(status));
    }
}

void ScanService::fail(int number)
{
    qCWarning(logScan) << "scan not started:" << number << scanErrorText(number) << "device" << m_deviceName;
    // A device that failed is opened afresh next time.
    close();
    m_reportPending = true;
    QTimer::singleShot(0, this, [this, number] {
        m_reportPending = false;
        emit scanFailed(number, scanErrorText(number));
    });
}

} // namespace zumen

#include "scan_service.moc"
