#include "imaging/pdf_pages.h"

#include "imaging/tiff_io.h"
#include "text/log.h"

#include <QFile>
#include <QFileInfo>

#include <poppler-qt6.h>

#include <cmath>

namespace zumen {
namespace {

[[noreturn]] void undecodable(const QString &path, const QString &why)
{
    throw NumberedError(PageErr::Undecodable, QStringLiteral("%1\r%2").arg(path, why));
}

QSize pixelSize(const QSizeF &points, int dpi)
{
    return {static_cast<int>(std::lround(points.width() * dpi / 72.0)),
            static_cast<int>(std::lround(points.height() * dpi / 72.0))};
}

} // namespace

PdfPages::PdfPages(const QString &path) : m_path(path)
{
    if (!QFileInfo(path).isFile())
        throw NumberedError(PageErr::Missing, QStringLiteral("ファイルが見つかりません。\r%1").arg(path));
    m_document = Poppler::Document::load(path);
    if (!m_document)
        undecodable(path, QStringLiteral("PDF ファイルとして読めません。"));
    if (m_document->isLocked())
        undecodable(path, QStringLiteral("PDF ファイルにパスワードが掛かっています。"));
    if (m_document->numPages() < 1)
        undecodable(path, QStringLiteral("PDF ファイルにページがありません。"));
}

PdfPages::~PdfPages() = default;

int PdfPages::count() const
{
    return m_document->numPages();
}

QSizeF PdfPages::pointSize(int index) const
{
    const std::unique_ptr<Poppler::Page> page = m_document->page(index);
    return page ? page->pageSizeF() : QSizeF();
}

QImage PdfPages::render(int index, int dpi) const
{
    const std::unique_ptr<Poppler::Page> page = m_document->page(index);
    if (!page)
        undecodable(m_path, QStringLiteral("%1 ページ目を読めません。").arg(index + 1));
    const QSize size = pixelSize(page->pageSizeF(), dpi);
    if (size.isEmpty() || qint64(size.width()) * size.height() > MaxPagePixels)
        undecodable(m_path, QStringLiteral("%1 ページ目の大きさが扱える範囲を超えています。").arg(index + 1));
    QImage image = page->renderToImage(dpi, dpi);
    if (image.isNull())
        throw NumberedError(
            PageErr::NoMemory,
            QStringLiteral("%1 ページ目を描けません（メモリ不足）。\r%2").arg(index + 1).arg(m_path));
    return image;
}

QImage archiveForm(QImage rendered)
{
    if (rendered.isNull())
        return {};
    // Paper is opaque: seen as RGB32 the same bytes need no copy.
    if (rendered.format() != QImage::Format_RGB32 && !rendered.reinterpretAsFormat(QImage::Format_RGB32))
        rendered = rendered.convertToFormat(QImage::Format_RGB32);
    const int width = rendered.width();
    const int height = rendered.height();
    bool bilevel = true;
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rendered.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = row[x] & 0xffffff;
            if (p == 0 || p == 0xffffff)
                continue;
            if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))
                return rendered; // colour
            bilevel = false;
        }
    }
    if (bilevel) {
        QImage mono = monoImage(rendered.size());
        if (mono.isNull())
            throw NumberedError(PageErr::NoMemory, QStringLiteral("メモリが不足しています。"));
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        for (int y = 0; y < height; ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(rendered.constScanLine(y));
            uchar *bits = mono.scanLine(y);
            std::fill_n(bits, mono.bytesPerLine(), uchar(0));
            for (int x = 0; x < width; ++x) {
                if ((row[x] & 0xffffff) == 0)
                    bits[x >> 3] |= uchar(0x80 >> (x & 7));
            }
        }
        return mono;
    }
    QImage grey(rendered.size(), QImage::Format_Grayscale8);
    if (grey.isNull())
        throw NumberedError(PageErr::NoMemory, QStringLiteral("メモリが不足しています。"));
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rendered.constScanLine(y));
        uchar *out = grey.scanLine(y);
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<uchar>(qBlue(row[x]));
    }
    return grey;
}

int writePdfPages(const QString &pdf, int dpi, const std::function<QString(int)> &pathFor)
{
    const PdfPages pages(pdf);
    QStringList written;
    try {
        for (int i = 0; i < pages.count(); ++i) {
            const QString path = pathFor(i);
            writeTiff(archiveForm(pages.render(i, dpi)), path, {0, false, dpi, dpi});
            written << path;
        }
    } catch (...) {
        // The reason goes to the caller; the log says where it stopped.
        qCWarning(logPages).noquote()
            << "PDF" << pdf << "not taken in: page" << written.size() + 1 << "failed";
        for (const QString &path : std::as_const(written))
            QFile::remove(path);
        throw;
    }
    qCInfo(logPages).noquote() << "PDF" << pdf << "taken in:" << written.size() << "pages at" << dpi << "dpi";
    return pages.count();
}

} // namespace zumen
