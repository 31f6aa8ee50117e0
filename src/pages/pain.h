#pragma once

#include "imaging/page_image.h"

#include <QAbstractScrollArea>
#include <QFuture>
#include <QFutureWatcher>
#include <QThreadPool>

class QPrinter;

namespace zumen {

// The image display of the page viewer: shows one page file, or a page handed over by the
// scanner, at any zoom; turns it, writes it back and prints it. Failures are NumberedErrors
// with the PageErr numbers the viewer tests for (Missing, Undecodable, NoPicture,
// ZoomRefused). Only the part in view is ever rendered, at the pixels of the screen it lands on.
// Page files are decoded off the GUI thread, so showing a record never waits for its drawing.
class Pain : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int MinZoom = 2;
    static constexpr int MaxZoom = 800;

    explicit Pain(QWidget *parent = nullptr);
    ~Pain() override;

    // Makes path the current image file; Missing if there is no such file (the current one stays).
    void setImage(const QString &path);
    QString image() const { return m_path; }
    // Starts loading the current image file and returns; the page shows at the current zoom
    // once decoded, and the picture shown before stays until then. A newer display, a scan or
    // clearing supersedes a load still under way. On failure (Missing, Undecodable,
    // Unreadable, NoMemory) the picture shown before stays, and so does the image file it came
    // from; displayFailed says why.
    void display();
    // Waits until the page asked for last is shown or has failed, with displayFailed handled
    // (which may ask for another page: that is waited for too). Turning, saving and printing
    // do this first, so they act on the page of the current image file.
    void waitForPage();

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

signals:
    void displayFailed(const QString &path, int number, const QString &description);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // What a load brings back from the decoding thread.
    struct Decoded {
        PageImage page;
        int error = 0;
        QString description;
        // The part of the page in view when it shows, rendered at scale.
        QImage view;
        QRect area;
        Scale scale;
    };

    void load(const QString &path, bool whole);
    void decoded();
    void loadWholeIfNeeded();
    void makeWhole();
    Scale deviceScale() const;
    void showPage(PageImage page, const QString &path);
    void keepView(QImage view, const QRect &area, Scale scale, qreal ratio);
    void forgetView() { keepView({}, {}, Scale{0, 1}, 1); }
    void applyScale(Scale scale);
    Scale fittedScale() const;
    void updateScrollBars();
    QPoint pageOrigin() const;

    // One thread: a page still waiting to be decoded is dropped when another is asked for.
    QThreadPool m_decoder;
    QFutureWatcher<Decoded> m_watcher;
    QFuture<Decoded> m_pending;
    bool m_loading = false;
    bool m_loadingWhole = false; // the pending load replaces a reduced page by the whole one
    QString m_loadingPath;
    PageImage m_page;
    // A part of the page already rendered (area, in device pixels of the page at scale).
    QImage m_view;
    QRect m_viewArea;
    Scale m_viewScale{0, 1};
    QString m_path;      // the current image file
    QString m_shownPath; // the file m_page came from, for going back after a failed display
    Scale m_scale = Scale::percent(100);
    bool m_fit = false;
};

} // namespace zumen
