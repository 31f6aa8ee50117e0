#pragma once

#include <QHash>
#include <QTableWidget>

#include <optional>

namespace zumen {

// The item grids of the cards and the search: rows and columns addressed as the windows
// address them, row 0 being the header row, a current cell, column widths in twips.
class FlexGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit FlexGrid(QWidget *parent = nullptr);

    int rows() const { return rowCount(); }
    // Keeps existing cells; the header row always stays.
    void setRows(int rows);
    int row() const { return m_row; }
    void setRow(int row);
    int col() const { return m_col; }
    void setCol(int col);

    QString text() const { return textMatrix(m_row, m_col); }
    void setText(const QString &text) { setTextMatrix(m_row, m_col, text); }
    QString textMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString &text);
    // A number a cell holds besides its text (the value behind a formatted number).
    std::optional<double> numberMatrix(int row, int col) const;
    void setNumberMatrix(int row, int col, std::optional<double> number);
    void setCellAlignment(int row, int col, Qt::Alignment alignment);

    int colWidthTwips(int col) const;
    void setColWidthTwips(int col, int twips);
    void setFontSize(double points);

private:
    QTableWidgetItem *cell(int row, int col);
    int m_row = 0;
    int m_col = 0;
    // Widths as set in twips, kept while the user leaves a column alone, so that storing an
    // untouched width does not drift by a pixel's rounding on every run.
    QHash<int, std::pair<int, int>> m_widths; // column -> (twips, pixels)
};

} // namespace zumen
