#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;

namespace zumen {

struct Archive;
class Pain;

// The page viewer: one page image of the shown record at a time, paged in page-number
// order, zoomed, rotated (written back to its file), printed, saved as one PDF. The zoom picked in the list
// stays from page to page and record to record, and is kept for the next start.
class Drawing_frm : public QWidget {
    Q_OBJECT
public:
    explicit Drawing_frm(Archive &archive);

    void Display(std::int32_t aID, std::int16_t aPage);
    void DisplayByFileName(const QString &aPath, const QString &aName);
    // A percent, or FitZoom for the whole page in the window.
    void SetZoom(int percent);
    void PreviousPage();
    void NextPage();
    void Rotate(int index);
    void Print();
    // 「PDF保存」: all pages of the shown record into one PDF file the user names.
    void SavePdf();
    // Stores the placement, as closing the viewer does.
    void Unload();

    std::int16_t CurrentPage = 0;
    // The printer dialog; returns false when the user cancels. Tests put a PDF printer here.
    std::function<bool(QPrinter &)> choosePrinter;
    // The file dialog for the PDF, given the suggested path; blank when the user cancels.
    std::function<QString(const QString &)> choosePdfFile;

    Pain *pain = nullptr;
    QLabel *ID = nullptr;
    std::array<QPushButton *, 3> Command{};
    std::array<QPushButton *, 2> CmdRotate{};
    QComboBox *cScale = nullptr;
    QPushButton *Prt = nullptr;
    QPushButton *PdfSave = nullptr;

signals:
    // "追加": the record card adds a page to the shown record.
    void appendPageRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void turnPage(int step);
    // A page that could not be shown: the placeholder for a missing or damaged file, a
    // message for anything else.
    void pageFailed(const QString &path, int number, const QString &description);

    Archive &m_archive;
    bool m_unloaded = false;
    // The record last displayed, its page count (0 when the page was not found) and the label
    // shown for it.
    std::int32_t m_id = 0;
    int m_pageCount = 0;
    QString m_label;
    // The placeholder file while it stands in for a page that is missing or damaged.
    QString m_standIn;
};

} // namespace zumen
