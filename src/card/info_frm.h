#pragma once

#include "card/entry_card.h"
#include "card/page_source.h"
#include "db/record_store.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QPushButton;

namespace zumen {

// The record card: one data record at a time, its items in a two-column grid, the buttons
// for adding, browsing, searching, modifying, the history card and leaving, and the
// item-by-item entry along the bottom edge. Other windows are reached through its signals.
class Info_frm : public EntryCard {
    Q_OBJECT
public:
    explicit Info_frm(Archive &archive);

    // While a search result is open, 前へ/次へ walk it instead of the table.
    void setSearchWalk(std::function<bool()> active,
                       std::function<std::optional<std::int32_t>(bool next)> step);
    // Where 追加 gets its pages.
    void setPageSource(PageSource &source) { m_pageSource = &source; }

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
    // Takes the next record identifier (highest + 1, or 1) and shows it.
    void NewRecordId();
    // Empties the name, the values and the viewer's picture.
    void ClearCard();
    // Opens the scanner and starts a scan; ScanCompleted runs for each sheet that arrives,
    // ScanFinished once the scan is over.
    void StartScan();
    // A scanned sheet stands in the viewer: write its file and record it. The first one of a
    // new record starts it; each further one becomes its next page. False when it was not kept.
    bool ScanCompleted();
    // The scan is over: a new record that got its first page is entered now.
    void ScanFinished();

    std::array<QPushButton *, 7> Command{};

signals:
    // The card became the active window of the program (not on a switch from another
    // application): the place to look for a request file.
    void activatedFromProgram();
    // Ctrl+Shift+Alt on the ID label ("Main") or on "履歴" ("History"): open the layout designer.
    void designerRequested(const QString &target);
    // Ctrl+Shift+Alt on "終了": open the options.
    void optionsRequested();
    // "検索" and "履歴" are served by the windows that own those actions.
    void searchRequested();
    void historyRequested(std::int32_t id);
    // The card leaves the shown record: the history card on it goes.
    void historyHideRequested();
    // What the viewer shows: a record's page, a file not yet recorded, nothing; and its label.
    void pageShown(std::int32_t id, std::int16_t page);
    void fileShown(const QString &dir, const QString &file);
    void pictureCleared();
    void viewerLabelShown(const QString &text);
    // 終了 went through and the card has stored its placement: the program ends.
    void exitRequested();

protected:
    void save() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showId(std::int32_t id);
    void fitLayoutHeight();
    void stepTo(bool next);
    void onFocusWindowChanged(QWindow *now);
    void addImportedPage(const PageSource::File &import);
    // A PDF's pages as scanned pages: page 1 of a new record and the pages after it, or
    // appended to the shown record. Nothing is kept when any page fails.
    void takePdf(const PageSource::File &pdf);
    // Gives a new record's written page 1 the scan name of the first record number free in the
    // folder and returns that number; throws NumberedError 75 when the file cannot be renamed.
    std::int32_t placeFirstPage(const QString &written, const QString &folder, const QString &failure);
    void removeUnreferencedScan();

    QWindow *m_previousFocus = nullptr;
    bool m_activatedOnce = false;
    // The record shown when 追加 was pressed: shown again when its new record is abandoned.
    std::int32_t m_shownBeforeAppend = 0;
    std::function<bool()> m_searchActive;
    std::function<std::optional<std::int32_t>(bool)> m_searchStep;
    PageSource *m_pageSource = nullptr;
};

} // namespace zumen
