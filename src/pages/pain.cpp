#include "pages/pain.h"

#include "imaging/page_error.h"
#include "widgets/ui.h"

#include <QFileInfo>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QPromise>
#include <QScrollBar>

#include <cmath>
#include <memory>
#include <new>
#include <numeric>

namespace zumen {
namespace {

// The whole page in a view of that size, without scroll bars; a page that already fits is
// shown at 100 %, not enlarged.
Scale fitted(QSize page, QSize view)
{
    if (page.isEmpty() || (page.width() <= view.width() && page.height() <= view.height()))
        return Scale::percent(100);
    // The side that is shorter for the view sets the fraction; the other side then fits too.
    Scale scale = qint64(view.width()) * page.height() <= qint64(view.height()) * page.width()
                      ? Scale{view.width(), page.width()}
                      : Scale{view.height(), page.height()};
    if (scale.num * 100 < scale.den * Pain::MinZoom)
        return Scale::percent(Pain::MinZoom);
    const qint64 common = std::gcd(scale.num, scale.den);
    return {scale.num / common, scale.den / common};
}

bool sameScale(Scale a, Scale b)
{
    return a.num * b.den == b.num * a.den;
}

// A scale drawn on a device of that many device pixels per pixel.
Scale onDevice(Scale scale, qreal ratio)
{
    const Scale device{scale.num * std::lround(ratio * 100), scale.den * 100};
    const qint64 common = std::gcd(device.num, device.den);
    return {device.num / common, device.den / common};
}

} // namespace

Pain::Pain(QWidget *parent) : QAbstractScrollArea(parent)
{
    nameControl(*this, QStringLiteral("Pain"), QStringLiteral("Pain"));
    // Every pixel of the viewport is painted, so Qt need not clear it first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    horizontalScrollBar()->setSingleStep(40);
    verticalScrollBar()->setSingleStep(40);
    m_decoder.setMaxThreadCount(1);
    PageImage::admitLargePages(); // here, before any page is decoded on another thread
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &Pain::decoded);
}

Pain::~Pain()
{
    // A load under way finishes on its own data; nothing of the widget is touched by it.
    m_decoder.clear();
    m_decoder.waitForDone();
}

void Pain::setImage(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        throw NumberedError(PageErr::Missing, QStringLiteral("ファイルが見つかりません。(%1)").arg(path));
    m_path = path;
}

void Pain::display()
{
    if (!m_path.isEmpty())
        load(m_path, false);
}

// Decodes path on the decoding thread; whole replaces the reduced page shown by all of it.
void Pain::load(const QString &path, bool whole)
{
    // The page is decoded for the zoom and the view of now; a later change loads the whole
    // page if the reduced one falls short.
    const bool fit = m_fit;
    const Scale scale = m_scale;
    const QSize view = maximumViewportSize();
    const qreal ratio = devicePixelRatioF();
    PageImage::DrawnAt drawnAt;
    if (!whole)
        drawnAt = [=](QSize page) { return onDevice(fit ? fitted(page, view) : scale, ratio); };
    // What will be in view once the page shows (it shows scrolled to its top left).
    const QSize inView(static_cast<int>(std::ceil(view.width() * ratio)),
                       static_cast<int>(std::ceil(view.height() * ratio)));
    auto promise = std::make_shared<QPromise<Decoded>>();
    m_decoder.clear(); // a page not started yet is wanted no more
    m_pending = promise->future();
    m_decoder.start([promise, path, drawnAt, inView] {
        promise->start();
        Decoded result;
        try {
            result.page = PageImage::load(path, drawnAt);
            // Rendered here too, so that the GUI thread only has to draw it.
            if (drawnAt) {
                result.scale = drawnAt(result.page.size());
                result.area =
                    QRect(QPoint(0, 0), inView) & QRect(QPoint(0, 0), result.page.zoomedSize(result.scale));
                result.view = result.page.render(result.area, result.scale);
            }
        } catch (const NumberedError &e) {
            result.error = e.number();
            result.description = e.description();
        } catch (const std::bad_alloc &) {
            result.error = PageErr::NoMemory;
            result.description = QStringLiteral("メモリが不足しています。");
        }
        promise->addResult(std::move(result));
        promise->finish();
    });
    m_loading = true;
    m_loadingWhole = whole;
    m_loadingPath = path;
    m_watcher.setFuture(m_pending);
}

void Pain::decoded()
{
    // The watcher may still report a load that was since superseded, or waited for already.
    if (!m_loading || !m_pending.isFinished())
        return;
    m_loading = false;
    if (m_pending.resultCount() == 0)
        return;
    Decoded result = m_pending.takeResult();
    m_pending = {};
    if (m_loadingWhole) {
        // Still the reduced page of a file that then failed: the reduced page stays.
        if (result.error == 0 && m_shownPath == m_loadingPath) {
            m_page = std::move(result.page);
            forgetView();
            viewport()->update();
        }
        return;
    }
    if (result.error != 0) {
        m_path = m_shownPath;
        emit displayFailed(m_loadingPath, result.error, result.description);
        return;
    }
    showPage(std::move(result.page), m_loadingPath);
    keepView(std::move(result.view), result.area, result.scale, devicePixelRatioF());
}

void Pain::waitForPage()
{
    while (m_loading) {
        m_pending.waitForFinished();
        decoded();
    }
}

Scale Pain::deviceScale() const
{
    return onDevice(m_scale, viewport()->devicePixelRatioF());
}

void Pain::loadWholeIfNeeded()
{
    if (!m_loading && m_page.needsWhole(deviceScale()))
        load(m_shownPath, true);
}

// A reduced page is enough to look at, never to turn, write or print.
void Pain::makeWhole()
{
    waitForPage();
    if (m_page.isReduced())
        m_page = PageImage::load(m_shownPath);
}

void Pain::setScannedImage(const QImage &image, int dpi)
{
    if (image.isNull()) {
        clearDisplay();
        return;
    }
    showPage(PageImage::fromImage(image, dpi), QString());
}

void Pain::clearDisplay()
{
    showPage(PageImage(), QString());
}

void Pain::showPage(PageImage page, const QString &path)
{
    // Whatever was still being decoded is superseded by this page.
    m_loading = false;
    m_decoder.clear();
    m_page = std::move(page);
    forgetView();
    m_path = path;
    m_shownPath = path;
    if (m_fit)
        m_scale = fittedScale();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    loadWholeIfNeeded();
}

void Pain::setZoom(int percent)
{
    if (percent < MinZoom || percent > MaxZoom)
        throw NumberedError(PageErr::ZoomRefused, QStringLiteral("倍率が範囲外です。(%1%)").arg(percent));
    m_fit = false;
    applyScale(Scale::percent(percent));
}

void Pain::fitToWindow()
{
    m_fit = true;
    applyScale(fittedScale());
}

void Pain::applyScale(Scale scale)
{
    if (scale.num * m_scale.den == m_scale.num * scale.den)
        return;
    // The point of the page at the centre of the view stays there.
    const QSize view = viewport()->size();
    const QPoint origin = pageOrigin();
    const double x = (view.width() / 2.0 - origin.x()) * m_scale.den / m_scale.num;
    const double y = (view.height() / 2.0 - origin.y()) * m_scale.den / m_scale.num;
    m_scale = scale;
    updateScrollBars();
    horizontalScrollBar()->setValue(static_cast<int>(x * m_scale.num / m_scale.den - view.width() / 2.0));
    verticalScrollBar()->setValue(static_cast<int>(y * m_scale.num / m_scale.den - view.height() / 2.0));
    viewport()->update();
    loadWholeIfNeeded();
}

Scale Pain::fittedScale() const
{
    // Fitted, the page needs no scroll bars: measure the view without them.
    return fitted(m_page.size(), maximumViewportSize());
}

void Pain::rotateLeft()
{
    makeWhole();
    m_page.rotateLeft();
    forgetView();
    if (m_fit)
        m_scale = fittedScale();
    updateScrollBars();
    viewport()->update();
}

void Pain::rotateRight()
{
    makeWhole();
    m_page.rotateRight();
    forgetView();
    if (m_fit)
        m_scale = fittedScale();
    updateScrollBars();
    viewport()->update();
}

void Pain::saveAs(const QString &path, int fileType)
{
    makeWhole();
    if (!hasImage())
        throw NumberedError(PageErr::NoPicture, QStringLiteral("ピクチャーがありません。"));
    m_page.save(path, fileType);
    m_path = path;
    m_shownPath = path;
}

void Pain::printImage(QPrinter &printer)
{
    makeWhole();
    if (!hasImage())
        throw NumberedError(PageErr::NoPicture, QStringLiteral("ピクチャーがありません。"));
    QImage image = m_page.image();
    if (m_page.isBilevel()) {
        // Qt's print engine keeps a bitmap at one bit only when 0 is black; otherwise an A1
        // page would go out as half a gigabyte of colour.
        image.invertPixels();
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    QPainter painter;
    if (!painter.begin(&printer))
        throw NumberedError(PageErr::PrinterFailed, QStringLiteral("印刷できません。"));
    // The painter's device is the printable area of the page, in printer dots.
    const QSizeF size = m_page.printSize(QSizeF(printer.width(), printer.height()), printer.logicalDpiX(),
                                         printer.logicalDpiY());
    painter.drawImage(QRectF(QPointF(0, 0), size), image);
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw NumberedError(PageErr::PrinterFailed, QStringLiteral("印刷できません。"));
}

QPoint Pain::pageOrigin() const
{
    // A page narrower or lower than the view stands in its middle; a larger one scrolls.
    const QSize page = m_page.zoomedSize(m_scale);
    const QSize view = viewport()->size();
    return {page.width() < view.width() ? (view.width() - page.width()) / 2 : -horizontalScrollBar()->value(),
            page.height() < view.height() ? (view.height() - page.height()) / 2
                                          : -verticalScrollBar()->value()};
}

void Pain::updateScrollBars()
{
    const QSize page = m_page.zoomedSize(m_scale);
    QSize view = viewport()->size();
    // A page that fits the view without scroll bars must lose the ones shown now.
    const QSize whole = maximumViewportSize();
    if (page.width() <= whole.width() && page.height() <= whole.height())
        view = whole;
    horizontalScrollBar()->setRange(0, std::max(0, page.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, page.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
}

void Pain::resizeEvent(QResizeEvent *)
{
    if (m_fit)
        m_scale = fittedScale();
    updateScrollBars();
    loadWholeIfNeeded();
}

void Pain::scrollContentsBy(int dx, int dy)
{
    // Move what is already drawn; only the strip that comes into view gets rendered. At a
    // fractional screen scale a moved picture would not meet the new strip on whole device
    // pixels, so the view is drawn afresh.
    const qreal ratio = viewport()->devicePixelRatio();
    if (ratio == std::floor(ratio))
        viewport()->scroll(dx, dy);
    else
        viewport()->update();
}

void Pain::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    // The page is rendered at the pixels of the device painted on, so that on a high-density
    // screen a one-pixel line of a drawing stays one sharp device pixel. Only what is in view
    // is rendered, whatever the ratio.
    const qreal ratio = painter.paintEngine()->paintDevice()->devicePixelRatio();
    const Scale scale = onDevice(m_scale, ratio);
    const QPoint origin = pageOrigin();
    const QRect page(QPoint(static_cast<int>(std::floor(origin.x() * ratio)),
                            static_cast<int>(std::floor(origin.y() * ratio))),
                     m_page.zoomedSize(scale));
    const QColor background = palette().color(QPalette::Dark);
    for (const QRect &rect : event->region()) {
        const QRect device(QPoint(static_cast<int>(std::floor(rect.left() * ratio)),
                                  static_cast<int>(std::floor(rect.top() * ratio))),
                           QPoint(static_cast<int>(std::ceil((rect.right() + 1) * ratio)) - 1,
                                  static_cast<int>(std::ceil((rect.bottom() + 1) * ratio)) - 1));
        const QRect shown = device & page;
        if (shown != device)
            painter.fillRect(rect, background);
        if (shown.isEmpty())
            continue;
        const QRect part = shown.translated(-page.topLeft());
        // Fitted, the whole page is in view: rendered once, it serves every later paint at
        // that zoom, so going back to the whole page costs no rendering.
        if (m_fit && !sameScale(m_viewScale, scale))
            keepView(m_page.render(QRect(QPoint(0, 0), page.size()), scale), QRect(QPoint(0, 0), page.size()),
                     scale, ratio);
        if (sameScale(m_viewScale, scale) && m_viewArea.contains(part)) {
            painter.drawImage(QPointF(shown.topLeft()) / ratio, m_view,
                              part.translated(-m_viewArea.topLeft()));
            continue;
        }
        QImage rendered = m_page.render(part, scale);
        rendered.setDevicePixelRatio(ratio);
        painter.drawImage(QPointF(shown.topLeft()) / ratio, rendered);
    }
}

void Pain::keepView(QImage view, const QRect &area, Scale scale, qreal ratio)
{
    m_view = std::move(view);
    m_view.setDevicePixelRatio(ratio);
    m_viewArea = m_view.isNull() ? QRect() : area;
    m_viewScale = scale;
}

} // namespace zumen
