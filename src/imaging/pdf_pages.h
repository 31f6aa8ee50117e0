#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>

namespace Poppler {
class Document;
}

namespace zumen {

// A PDF file's pages as images, for pages that come as PDFs from CAD. The file is only read.
class PdfPages {
public:
    // Throws NumberedError PageErr::Missing when there is no such file and PageErr::Undecodable
    // for a file that is damaged, locked with a password or has no page.
    explicit PdfPages(const QString &path);
    ~PdfPages();
    PdfPages(const PdfPages &) = delete;
    PdfPages &operator=(const PdfPages &) = delete;

    int count() const;
    // The page's size in points (1/72 inch), turned as the page is shown.
    QSizeF pointSize(int index) const;
    // The page at dpi on white paper, unsmoothed so that drawn lines stay pure black.
    // Throws NumberedError PageErr::Undecodable for a page larger than MaxPagePixels or one the
    // library cannot draw, PageErr::NoMemory when it does not fit in memory.
    QImage render(int index, int dpi) const;

private:
    QString m_path;
    std::unique_ptr<Poppler::Document> m_document;
};

// A rendered page in the form it is kept in: Format_Mono (0 white, 1 black) when every pixel is
// black or white, Grayscale8 when every pixel is grey, RGB32 otherwise. Takes the rendering so
// that at most it and the result are in memory at once.
QImage archiveForm(QImage rendered);

// Renders every page of the PDF at dpi and writes page i (from 0) as a one-page TIFF at
// pathFor(i): Group 4 when bilevel, lossless otherwise, with the resolution, so it prints at its
// own size. All or nothing: when a page fails, the pages written so far are removed and the
// NumberedError is thrown on. Returns the number of pages.
int writePdfPages(const QString &pdf, int dpi, const std::function<QString(int)> &pathFor);

} // namespace zumen
