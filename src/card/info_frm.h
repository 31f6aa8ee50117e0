#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zumen {

struct Desk;
class FlexGrid;
class ItemEntry;
class GetDir_frm;
class ScanController;

// A scanned page's file name: "SC", the identifier in at least six digits, for a page added
// later its number in at least two, ".TIF".
QString ScanFileName(std::int32_t id, std::optional<std::int16_t> page);

// The record card: one data record at a time, its items in a two-column grid, the buttons
// for adding, browsing, searching, modifying, the history card and leaving, and the
// item-by-item entry along the bottom edge.
class Info_frm : public QWidget {
    Q_OBJECT
public:
    explicit Info_frm(Desk &desk);

    // Shows the record; an identifier that is not in DT leaves the card as it was.
    void Display(std::int32_t aID);
    void GoPrevious();
    void GoNext();
    void StartEdit();
    void BeginEntry();
    // Ends the program; an entry in progress is first offered for abandoning, and a "no" keeps it running.
    void ExitProgram();
    // Esc during an entry: asks, and on yes throws the typed values away. A new record's
    // scanned page, which nothing else references, is removed with it.
    bool AbandonEntry();
    // Adds a record (false) or a page to the shown record (true) from the scanner or a file.
    void DoAppend(bool aPageMode);
    // Puts the next record identifier (highest + 1, or 1) into the ID label.
    void NewRecordId();
    // Empties the name, the values and the viewer's picture.
    void ClearCard();
    // Opens the scanner and starts a scan; ScanCompleted runs when the page has arrived.
    void StartScan();
    // The scanned page stands in the viewer: write its file and record it.
    void ScanCompleted();
    // Stores placements and grid widths, as closing the card does.
    void Unload();

    // Card state.
    QString Mode = QStringLiteral("VIEW");
    std::int16_t CurrentItem = 0;
    QString PendingDir;
    QString PendingFileName;
    bool PageMode = false;

    // Controls, named as the windows that use them address them.
    QLabel *ID = nullptr;
    QLabel *Label0 = nullptr;
    QLineEdit *eNamae = nullptr;
    FlexGrid *List = nullptr;
    QLabel *Koumoku = nullptr;
    QLineEdit *eNaiyou = nullptr;
    std::array<QPushButton *, 7> Command{};

signals:
    // The card became the active window of the program (not on a switch from another
    // application): the place to look for a request file.
    void activatedFromProgram();
    // Ctrl+Shift+Alt on the ID label or on "履歴": open the layout designer for DesignTarget.
    void designerRequested();
    // "追加", "検索" and "履歴" are served by the windows that own those actions.
    void searchRequested();
    void historyRequested(std::int32_t id);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildGrid();
    void fitLayoutHeight();
    void SaveRecord();
    void showMemoReadOnly();
    void openOptions();
    void stepTo(bool next);
    void onFocusWindowChanged(QWindow *now);
    ScanController &scanner();
    // The record's highest page number + 1; none when the record has no page at all.
    std::optional<std::int16_t> nextPage(std::int32_t id);
    // The highest record identifier + 1, or 1.
    std::int32_t nextRecordId();
    // Whether a record or a page entry has the identifier.
    bool idInUse(std::int32_t id);
    // The first identifier from `from` on that no record uses and, withScan, that no scan file has.
    std::int32_t freeRecordId(std::int32_t from, bool withScan);
    void writePage(std::int32_t id, std::int16_t page, const QString &dir, const QString &file);
    void addImportedPage(GetDir_frm &import);
    void removeUnreferencedScan();

    Desk &m_desk;
    QWindow *m_previousFocus = nullptr;
    bool m_activatedOnce = false;
    bool m_unloaded = false;
    // The record shown when 追加 was pressed: shown again when its new record is abandoned.
    std::int32_t m_shownBeforeAppend = 0;
    ItemEntry *m_entry = nullptr;
    ScanController *m_scanner = nullptr;
    GetDir_frm *m_getDir = nullptr;
};

} // namespace zumen
