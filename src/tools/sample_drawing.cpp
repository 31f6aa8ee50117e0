#include "tools/sample_drawing.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

namespace zumen {
namespace {

QFont gothic(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("IPAGothic"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

} // namespace

QImage sampleDrawing(const QString &number, const QString &name, int seed, QSize size)
{
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int w = size.width(), h = size.height();
    const int unit = std::max(1, w / 400); // line width scales with the sheet
    QPen thick(Qt::black, unit * 2), thin(Qt::black, unit), center(Qt::black, unit, Qt::DashDotLine);

    // Frame and title block.
    p.setPen(thick);
    const int margin = w / 40;
    const QRect frame(margin, margin, w - 2 * margin, h - 2 * margin);
    p.drawRect(frame);
    const QRect title(frame.right() - w / 3, frame.bottom() - h / 7, w / 3, h / 7);
    p.drawRect(title);
    p.setPen(thin);
    p.drawLine(title.left(), title.center().y(), title.right(), title.center().y());
    p.drawLine(title.left() + title.width() / 3, title.top(), title.left() + title.width() / 3,
               title.bottom());
    p.setFont(gothic(title.height() / 6));
    p.drawText(QRect(title.left(), title.top(), title.width() / 3, title.height() / 2), Qt::AlignCenter,
               QStringLiteral("図番"));
    p.drawText(QRect(title.left(), title.center().y(), title.width() / 3, title.height() / 2),
               Qt::AlignCenter, QStringLiteral("品名"));
    p.setFont(gothic(title.height() / 4, true));
    p.drawText(
        QRect(title.left() + title.width() / 3, title.top(), title.width() * 2 / 3, title.height() / 2),
        Qt::AlignCenter, number);
    p.drawText(QRect(title.left() + title.width() / 3, title.center().y(), title.width() * 2 / 3,
                     title.height() / 2),
               Qt::AlignCenter, name);

    // The part: a plate with holes, a shaft or a flange, sized by the seed.
    QRandomGenerator rng(static_cast<quint32>(seed));
    const QRect area(frame.left() + w / 12, frame.top() + h / 10, frame.width() * 3 / 5,
                     frame.height() * 3 / 5);
    const QPoint c = area.center();
    p.setPen(center);
    p.drawLine(area.left() - w / 30, c.y(), area.right() + w / 30, c.y());
    p.drawLine(c.x(), area.top() - h / 30, c.x(), area.bottom() + h / 30);
    p.setPen(thick);
    switch (seed % 3) {
    case 0: {
        const QRect plate = area.adjusted(0, area.height() / 6, 0, -area.height() / 6);
        p.drawRoundedRect(plate, w / 80, w / 80);
        const int holes = 2 + rng.bounded(4);
        const int r = plate.height() / 10;
        for (int i = 0; i < holes; ++i) {
            const int x = plate.left() + plate.width() * (i + 1) / (holes + 1);
            p.drawEllipse(QPoint(x, plate.top() + plate.height() / 4), r, r);
            p.drawEllipse(QPoint(x, plate.bottom() - plate.height() / 4), r, r);
        }
        break;
    }
    case 1: {
        int x = area.left();
        const int steps = 3 + rng.bounded(3);
        for (int i = 0; i < steps; ++i) {
            const int len = area.width() / steps;
            const int half = area.height() / 6 + static_cast<int>(rng.bounded(area.height() / 4));
            p.drawRect(x, c.y() - half, len, 2 * half);
            x += len;
        }
        break;
    }
    default: {
        const int outer = std::min(area.width(), area.height()) / 2;
        p.drawEllipse(c, outer, outer);
        p.drawEllipse(c, outer / 3, outer / 3);
        const int bolts = 4 + 2 * rng.bounded(3);
        for (int i = 0; i < bolts; ++i) {
            const double a = 2 * M_PI * i / bolts;
            const QPoint b(c.x() + static_cast<int>(outer * 0.7 * std::cos(a)),
                           c.y() + static_cast<int>(outer * 0.7 * std::sin(a)));
            p.drawEllipse(b, outer / 12, outer / 12);
        }
        break;
    }
    }
    // One dimension line under the part.
    p.setPen(thin);
    const int y = area.bottom() + h / 20;
    p.drawLine(area.left(), y, area.right(), y);
    p.drawLine(area.left(), y - h / 80, area.left(), y + h / 80);
    p.drawLine(area.right(), y - h / 80, area.right(), y + h / 80);
    p.setFont(gothic(h / 40));
    p.drawText(QRect(area.left(), y - h / 20, area.width(), h / 22), Qt::AlignHCenter | Qt::AlignBottom,
               QString::number(50 + 10 * rng.bounded(40)));
    p.end();
    return image;
}

QImage placeholderPage()
{
    QImage image(QSize(1600, 1130), QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 6));
    p.drawRect(image.rect().adjusted(40, 40, -40, -40));
    p.setFont(gothic(96, true));
    p.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("ファイルが見つかりません"));
    p.end();
    return image;
}

} // namespace zumen
