#include "pages/pain.h"

#include "app/numbered_error.h"
#include "app/ui.h"

#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

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
        throw NumberedError(53, QStringLiteral("ファイルが見つかりません。(%1)").arg(path));
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
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

void Pain::setZoom(int percent)
{
    if (percent < MinZoom || percent > MaxZoom)
        throw NumberedError(1001, QStringLiteral("倍率が範囲外です。(%1%)").arg(percent));
    if (percent == m_zoom)
        return;
    // The point of the page at the centre of the view stays there.
    const QSize view = viewport()->size();
    const QPoint origin = pageOrigin();
    const double x = (view.width() / 2.0 - origin.x()) * 100.0 / m_zoom;
    const double y = (view.height() / 2.0 - origin.y()) * 100.0 / m_zoom;
    m_zoom = percent;
    updateScrollBars();
    horizontalScrollBar()->setValue(static_cast<int>(x * m_zoom / 100.0 - view.width() / 2.0));
    verticalScrollBar()->setValue(static_cast<int>(y * m_zoom / 100.0 - view.height() / 2.0));
    viewport()->update();
}

void Pain::rotateLeft()
{
    m_page.rotateLeft();
    updateScrollBars();
    viewport()->update();
}

void Pain::rotateRight()
{
    m_page.rotateRight();
    updateScrollBars();
    viewport()->update();
}

void Pain::saveAs(const QString &path, int fileType)
{
    if (!hasImage())
        throw NumberedError(481, QStringLiteral("ピクチャーがありません。"));
    m_page.save(path, fileType);
    m_path = path;
    m_shownPath = path;
}

void Pain::printImage(QPrinter &printer)
{
    if (!hasImage())
        throw NumberedError(481, QStringLiteral("ピクチャーがありません。"));
    QImage image = m_page.image();
    if (m_page.isBilevel()) {
        // Qt's print engine keeps a bitmap at one bit only when 0 is black; otherwise an A1
        // page would go out as half a gigabyte of colour.
        image.invertPixels();
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    QPainter painter;
    if (!painter.begin(&printer))
        throw NumberedError(482, QStringLiteral("印刷できません。"));
    // The painter's device is the printable area of the page, in printer dots.
    const QSizeF size = m_page.printSize(QSizeF(printer.width(), printer.height()), printer.logicalDpiX(),
                                         printer.logicalDpiY());
    painter.drawImage(QRectF(QPointF(0, 0), size), image);
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw NumberedError(482, QStringLiteral("印刷できません。"));
}

QPoint Pain::pageOrigin() const
{
    // A page narrower or lower than the view stands in its middle; a larger one scrolls.
    const QSize page = m_page.zoomedSize(m_zoom);
    const QSize view = viewport()->size();
    return {page.width() < view.width() ? (view.width() - page.width()) / 2 : -horizontalScrollBar()->value(),
            page.height() < view.height() ? (view.height() - page.height()) / 2
                                          : -verticalScrollBar()->value()};
}

void Pain::updateScrollBars()
{
    const QSize page = m_page.zoomedSize(m_zoom);
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, page.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, page.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
}

void Pain::resizeEvent(QResizeEvent *)
{
    updateScrollBars();
}

void Pain::scrollContentsBy(int dx, int dy)
{
    // Move what is already drawn; only the strip that comes into view gets rendered.
    viewport()->scroll(dx, dy);
}

void Pain::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect page(pageOrigin(), m_page.zoomedSize(m_zoom));
    const QColor background = palette().color(QPalette::Dark);
    for (const QRect &rect : event->region()) {
        const QRect shown = rect & page;
        for (const QRect &outside : QRegion(rect).subtracted(shown))
            painter.fillRect(outside, background);
        if (!shown.isEmpty())
            painter.drawImage(shown.topLeft(), m_page.render(shown.translated(-page.topLeft()), m_zoom));
    }
}

} // namespace zumen
