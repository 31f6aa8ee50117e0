#include "pages/pain.h"

#include "imaging/page_error.h"
#include "widgets/ui.h"

#include <QFileInfo>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

#include <cmath>
#include <numeric>

namespace zumen {

Pain::Pain(QWidget *parent) : QAbstractScrollArea(parent)
{
    nameControl(*this, QStringLiteral("Pain"), QStringLiteral("Pain"));
    // Every pixel of the viewport is painted, so Qt need not clear it first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    horizontalScrollBar()->setSingleStep(40);
    verticalScrollBar()->setSingleStep(40);
}

void Pain::setImage(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        throw NumberedError(PageErr::Missing, QStringLiteral("ファイルが見つかりません。(%1)").arg(path));
    m_path = path;
}

void Pain::display()
{
    if (m_path.isEmpty())
        return;
    try {
        showPage(PageImage::load(m_path), m_path);
    } catch (...) {
        m_path = m_shownPath;
        throw;
    }
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
    m_page = std::move(page);
    m_path = path;
    m_shownPath = path;
    if (m_fit)
        m_scale = fittedScale();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
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
}

Scale Pain::fittedScale() const
{
    // Fitted, the page needs no scroll bars: measure the view without them.
    const QSize view = maximumViewportSize();
    const QSize page = m_page.size();
    if (page.isEmpty() || (page.width() <= view.width() && page.height() <= view.height()))
        return Scale::percent(100);
    // The side that is shorter for the view sets the fraction; the other side then fits too.
    Scale scale = qint64(view.width()) * page.height() <= qint64(view.height()) * page.width()
                      ? Scale{view.width(), page.width()}
                      : Scale{view.height(), page.height()};
    if (scale.num * 100 < scale.den * MinZoom)
        return Scale::percent(MinZoom);
    const qint64 common = std::gcd(scale.num, scale.den);
    return {scale.num / common, scale.den / common};
}

void Pain::rotateLeft()
{
    m_page.rotateLeft();
    if (m_fit)
        m_scale = fittedScale();
    updateScrollBars();
    viewport()->update();
}

void Pain::rotateRight()
{
    m_page.rotateRight();
    if (m_fit)
        m_scale = fittedScale();
    updateScrollBars();
    viewport()->update();
}

void Pain::saveAs(const QString &path, int fileType)
{
    if (!hasImage())
        throw NumberedError(PageErr::NoPicture, QStringLiteral("ピクチャーがありません。"));
    m_page.save(path, fileType);
    m_path = path;
    m_shownPath = path;
}

void Pain::printImage(QPrinter &printer)
{
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
    const int hundredths = static_cast<int>(std::lround(ratio * 100));
    Scale scale{m_scale.num * hundredths, m_scale.den * 100};
    const qint64 common = std::gcd(scale.num, scale.den);
    scale = {scale.num / common, scale.den / common};
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
        QImage part = m_page.render(shown.translated(-page.topLeft()), scale);
        part.setDevicePixelRatio(ratio);
        painter.drawImage(QPointF(shown.topLeft()) / ratio, part);
    }
}

} // namespace zumen
