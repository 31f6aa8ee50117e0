#pragma once

#include "card/card_session.h"
#include "db/layouts.h"

#include <QWidget>

class QLabel;
class QLineEdit;

namespace zumen {

struct Archive;
class FlexGrid;
class ItemEntry;
class Memo_frm;

// What the record card and the history card have in common: the window at its design size,
// the identifier label, the name box, the item grid with its entry walk, and the placement
// kept at the end of the program. The cards add their buttons and what a save writes.
class EntryCard : public QWidget {
    Q_OBJECT
public:
    // The editor the memo items open in (one for the whole program).
    void setMemoEditor(Memo_frm &memo);
    CardSession &session() { return m_session; }
    const CardSession &session() const { return m_session; }
    // Stores placement and grid widths, as the end of the program does.
    void Unload();

    // Controls, named as the windows that use them address them.
    QLabel *ID = nullptr;
    QLabel *Label0 = nullptr;
    QLineEdit *eNamae = nullptr;
    FlexGrid *List = nullptr;
    QLabel *Koumoku = nullptr;
    QLineEdit *eNaiyou = nullptr;

protected:
    struct Setup {
        QString objectName;
        QString title;
        const Layout *layout;
        bool emptyTextAsSpace; // the record card stores an empty text as one blank, the history card as ""
        int itemColumnRow;     // Pos rows of the grid's column widths and of the placement
        int valueColumnRow;
        int placementRow;
        double idFontSize;
    };
    EntryCard(Archive &archive, const Setup &setup);
    // The entry walk passed the last item.
    virtual void save() = 0;
    // Puts the name box, the grid and the value box after the card's last button in the tab order.
    void entryAfter(QWidget *lastButton);
    void resizeEvent(QResizeEvent *event) override;

    Archive &m_archive;
    CardSession m_session;
    ItemEntry *m_entry = nullptr;

private:
    int m_placementRow;
    bool m_unloaded = false;
};

} // namespace zumen
