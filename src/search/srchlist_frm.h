#pragma once

#include "db/database.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;
class QTableView;

namespace zumen {

struct Desk;
class SearchResultModel;

// The records the last search found, one row each with identifier and name. A double-click
// shows the row's record on the card; the card's previous and next walk the rows while the
// list is open. Closing the list (閉じる, Esc or the close box) ends that walk; the window
// deletes itself. Enter shows the current row's record, as a double-click does.
class SrchList_frm : public QWidget {
    Q_OBJECT
public:
    explicit SrchList_frm(Desk &desk);
    ~SrchList_frm() override;

    // Takes over the result of a search; its first row becomes the current one.
    void fill(Recordset result);

    // Rows are addressed as the grid of results has always been: row 0 is the header,
    // rows 1 to rowCount() - 1 the records; column 0 the identifier, column 1 the name.
    int rowCount() const;
    // 0 when no record row is current.
    int currentRow() const;
    QString textMatrix(int row, int col) const;
    // Makes the previous or next row current and gives its record; false, and nothing
    // changes, when the current row is already the first or the last.
    bool step(bool next, std::int32_t &id);
    // Shows the record of a row on the card, then brings the viewer and the card forward.
    void showRecord(int row);

    QLabel *message;
    QTableView *List;
    QPushButton *Close;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void makeCurrent(int row);

    Desk &m_desk;
    SearchResultModel *m_model;
};

} // namespace zumen
