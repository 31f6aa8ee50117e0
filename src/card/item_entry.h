#pragma once

#include "db/layouts.h"
#include "db/record_store.h"

#include <QObject>

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QWidget;

namespace zumen {

class PlacementStore;
class FlexGrid;
class Memo_frm;

// The item grid and the item-by-item entry that the record card and the history card share:
// the grid built from a layout, values shown from and written to a table row, and the walk
// with Enter, Up and the memo editor. The cards differ only in what they hand in here.
class ItemEntry : public QObject {
    Q_OBJECT
public:
    struct Parts {
        QLineEdit *name;     // eNamae
        FlexGrid *grid;      // List
        QLabel *itemLabel;   // Koumoku
        QLineEdit *valueBox; // eNaiyou
    };
    struct Rules {
        const Layout *layout;
        bool emptyTextAsSpace; // the record card stores an empty text as one blank, the history card as ""
        int itemColumnRow;     // Pos rows of the grid's column widths
        int valueColumnRow;
    };

    // current is the window's own CurrentItem; save runs when the walk passes the last item.
    ItemEntry(PlacementStore &placements, Parts parts, Rules rules, std::int16_t &current,
              std::function<void()> save, QObject *parent);
    // The editor memo items open in; without one a memo item is passed over.
    void setMemoEditor(Memo_frm *memo) { m_memo = memo; }

    // Header row, one row per layout item, column widths from Pos.
    void buildGrid();
    // The name and the item values of a DT or Hstry row.
    void showRow(const RowValues &row);
    // Empties the name and the value cells.
    void clear();
    // The name and the item values as a save writes them.
    RowValues values() const;
    // The memo of the grid's current row, for reading only.
    void showMemoReadOnly();
    // CurrentItem = 0, focus and select the name box.
    void beginEntry();
    // Ends the entry on screen after a save.
    void finish();
    void saveGridWidths();
    // The grid and the value box follow the window's size (outer size in twips: grid
    // W − 2000 by H − 1200, item label and value box at H − 780, value box W − 4000 wide).
    void fitTo(const QWidget &window);

signals:
    void escapeInName();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void editItem();
    void storeValueBox();
    const LayoutItem &item(int position) const;
    bool pastEnd(int position) const;

    PlacementStore &m_placements;
    Memo_frm *m_memo = nullptr;
    Parts m_parts;
    Rules m_rules;
    std::int16_t &m_current;
    std::function<void()> m_save;
};

} // namespace zumen
