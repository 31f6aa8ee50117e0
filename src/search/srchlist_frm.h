#pragma once

#include "db/database.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;
class QTableView;

namespace zumen {

class SearchResultModel;

// The records the last search found, one row each with identifier and name. A double-click
// or Enter asks for the row's record to be shown; the card's previous and next walk the rows
// (through the search session) while the list is open. Closing the list (閉じる, Esc or the
// close box) ends that walk; the window deletes itself.
class SrchList_frm : public QWidget {
    Q_OBJECT
public:
    SrchList_frm();

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
    // Makes a row current and asks for its record to be shown.
    void showRecord(int row);

    QLabel *message;
    QTableView *List;
    QPushButton *Close;

signals:
    void recordRequested(std::int32_t id);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void makeCurrent(int row);

    SearchResultModel *m_model;
};

} // namespace zumen
