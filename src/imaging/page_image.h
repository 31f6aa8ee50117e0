#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <functional>

namespace zumen {

// A zoom as an exact fraction of the page's own pixels (25 % is 25/100), so that a page can
// be fitted to a window to the pixel and drawn for a high-density screen at any ratio.
struct Scale {
    qint64 num = 1;
    qint64 den = 1;
    static Scale percent(int percent) { return {percent, 100}; }
};

// What a page file was, so that a changed page can be written back in kind.
struct PageKind {
    QByteArray format;         // "tiff", "jpeg", "bmp", "png"...; empty for a page that never was a file
    int tiffCompression = 0;   // libtiff's compression code; 0 = the archive default
    int tiffPhotometric = -1;  // as in the file
    int tiffBitsPerSample = 0; // as in the file; grey pages are kept at 8 bits
};

// One page image in memory, without any widget. A bilevel page stays at one bit per pixel
// (Format_Mono, 0 = white, 1 = black) so an A1 drawing at 400 dpi costs 15 MB, not 500 MB;
// grey pages stay Grayscale8 and colour pages RGB32. Views ask for the part they show.
class PageImage {
public:
    PageImage() = default;

    // The scale a page of the given size is to be drawn at first, device pixels included.
    using DrawnAt = std::function<Scale(QSize)>;

    // Reads a TIFF (its first page; bilevel pages through libtiff), JPEG, BMP, PNG or any
    // format Qt reads. Throws NumberedError (PageErr) Missing, Undecodable for a file that cannot
    // be decoded or declares more than MaxPagePixels, Unreadable, or NoMemory when the page
    // does not fit in memory. With drawnAt, a JPEG is decoded at no more pixels than that
    // needs (libjpeg reduces by eighths while it decodes): such a page is reduced, stands for
    // the whole page in size() and render(), and cannot be saved. Safe off the GUI thread.
    static PageImage load(const QString &path, const DrawnAt &drawnAt = {});
    // Raises Qt's limit on decoded images to the largest page, once for the process. Call it
    // on the GUI thread before pages are loaded elsewhere; load calls it as well.
    static void admitLargePages();
    // A page that comes from elsewhere (a scanner); a 1-bit image stays bilevel.
    static PageImage fromImage(const QImage &image, int dpi);

    bool isNull() const { return m_image.isNull(); }
    bool isBilevel() const { return m_image.format() == QImage::Format_Mono; }
    // The page's size, also when it is held reduced.
    QSize size() const { return isReduced() ? m_whole : m_image.size(); }
    bool isReduced() const { return !m_whole.isEmpty(); }
    // Whether drawing at scale needs more pixels than a reduced page holds.
    bool needsWhole(Scale scale) const;
    int dpiX() const { return m_dpiX; }
    int dpiY() const { return m_dpiY; }
    const PageKind &kind() const { return m_kind; }
    qsizetype byteCount() const { return m_image.sizeInBytes(); }
    // The native data, for painting onto a printer (never a reduced page).
    const QImage &image() const { return m_image; }

    // Size of the whole page drawn at scale: each side rounded up.
    QSize zoomedSize(Scale scale) const;
    QSize zoomedSize(int percent) const { return zoomedSize(Scale::percent(percent)); }
    // The part area (in the coordinates of the page drawn at scale) rendered from the
    // native data: bilevel pages area-averaged to grey below 100 %, pixels repeated from
    // 100 %; grey and colour pages averaged below and smoothly enlarged above 100 %.
    // Grayscale8 for bilevel and grey pages, RGB32 for colour.
    QImage render(const QRect &area, Scale scale) const;
    QImage render(const QRect &area, int percent) const { return render(area, Scale::percent(percent)); }

    // Size on paper, in printer dots: the page's own size from its resolution when that fits
    // the printable area, else fitted to it with its proportions kept.
    QSizeF printSize(const QSizeF &printable, double printerDpiX, double printerDpiY) const;

    void rotateLeft();
    void rotateRight();

    // fileType 0 writes in the kind the page came from, 1 writes a TIFF (Group 4 when
    // bilevel, LZW otherwise). The file is replaced only once written in full; a failure
    // throws PageErr::Unreadable and leaves it as it was. Afterwards the page is of that kind.
    // A TIFF page written in kind over a file of several pages replaces the first page only;
    // when the others cannot be kept as they are, PageErr::OtherPagesAtRisk and nothing changes.
    void save(const QString &path, int fileType = 0);

private:
    void setDpi(int x, int y);

    QImage m_image;
    int m_dpiX = 0;
    int m_dpiY = 0;
    QSize m_whole; // the page's own size while m_image holds it reduced; empty otherwise
    PageKind m_kind;
};

} // namespace zumen
