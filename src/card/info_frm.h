#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zumen {

struct Desk;
class FlexGrid;

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
    void ExitProgram();
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
    void appendRequested();
    void searchRequested();
    void historyRequested(std::int32_t id);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildGrid();
    void EditItem();
    void storeValueBox();
    void SaveRecord();
    void showMemoReadOnly();
    void openOptions();
    void stepTo(bool next);
    void onFocusWindowChanged(QWindow *now);

    Desk &m_desk;
    QFrame *m_lines[2]{};
    QWindow *m_previousFocus = nullptr;
    bool m_activatedOnce = false;
    bool m_unloaded = false;
};

} // namespace zumen
