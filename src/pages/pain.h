#pragma once

#include "imaging/page_image.h"

#include <QAbstractScrollArea>

class QPrinter;

namespace zumen {

// The image display of the page viewer: shows one page file, or a page handed over by the
// scanner, at any zoom; turns it, writes it back and prints it. Failures are NumberedErrors
// with the PageErr numbers the viewer tests for (Missing, Undecodable, NoPicture,
// ZoomRefused). Only the part in view is ever rendered, at the pixels of the screen it lands on.
class Pain : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int MinZoom = 2;
    static constexpr int MaxZoom = 800;

    explicit Pain(QWidget *parent = nullptr);

    // Makes path the current image file; Missing if there is no such file (the current one stays).
    void setImage(const QString &path);
    QString image() const { return m_path; }
    // Loads the current image file and shows it at the current zoom. On failure (Missing,
    // Undecodable, Unreadable, NoMemory) the picture shown before stays, and so does the image
    // file it came from.
    void display();

    // Leaves fitting; the point at the centre of the view stays there.
    void setZoom(int percent);
    // Shows the whole page, and keeps doing so as the view is resized or the page turned.
    // A page that already fits is shown at 100 %, not enlarged.
    void fitToWindow();
    bool fitsToWindow() const { return m_fit; }
    // In percent; while fitting, the fitted zoom rounded down.
    int zoom() const { return static_cast<int>(m_scale.num * 100 / m_scale.den); }

    void rotateLeft();
    void rotateRight();
    // Writes the shown image: fileType 0 in the kind it came from, 1 as TIFF. The file written
    // becomes the current image file. NoPicture without a picture, Unreadable when it
    // cannot be written.
    void saveAs(const QString &path, int fileType = 0);
    // Prints at the image's own size when that fits the page, else fitted to it. The caller
    // has chosen the printer; NoPicture without a picture, PrinterFailed when the printer fails.
    void printImage(QPrinter &printer);

    void clearDisplay();
    bool hasImage() const { return !m_page.isNull(); }
    QSize imagePixelSize() const { return m_page.size(); }
    // Shows a page that is not a file yet (a scan); saveAs writes it, a 1-bit image as bilevel.
    void setScannedImage(const QImage &image, int dpi);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void showPage(PageImage page, const QString &path);
    void applyScale(Scale scale);
    Scale fittedScale() const;
    void updateScrollBars();
    QPoint pageOrigin() const;

    PageImage m_page;
    QString m_path;      // the current image file
    QString m_shownPath; // the file m_page came from, for going back after a failed display
    Scale m_scale = Scale::percent(100);
    bool m_fit = false;
};

} // namespace zumen
