#pragma once

#include "db/layouts.h"

#include <QObject>

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QWidget;

namespace zumen {

struct Desk;
class FlexGrid;
class Recordset;

// The controls both cards place alike at their design positions: the engraved divider, the
// name label and box, the item grid, and the item label and value box of the entry.
struct EntryControls {
    QLabel *nameLabel;   // Label(0)
    QLineEdit *name;     // eNamae
    FlexGrid *grid;      // List
    QLabel *itemLabel;   // Koumoku, hidden until an entry starts
    QLineEdit *valueBox; // eNaiyou, hidden until an entry starts
};
EntryControls createEntryControls(QWidget &window);

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
    ItemEntry(Desk &desk, Parts parts, Rules rules, std::int16_t &current, std::function<void()> save,
              QObject *parent);

    // Header row, one row per layout item, column widths from Pos.
    void buildGrid();
    // The name and the item values of a DT or Hstry row.
    void showRow(Recordset &row);
    // Empties the name and the value cells.
    void clear();
    // Writes the name and the item values into the row being added or edited.
    void writeRow(Recordset &row);
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

    Desk &m_desk;
    Parts m_parts;
    Rules m_rules;
    std::int16_t &m_current;
    std::function<void()> m_save;
};

} // namespace zumen
