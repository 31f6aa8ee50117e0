#include "widgets/flex_grid.h"

#include "widgets/ui.h"

#include <QHeaderView>

namespace zumen {

FlexGrid::FlexGrid(QWidget *parent) : QTableWidget(1, 2, parent)
{
    // Row 0 is a real row, shown as a header, so row numbers match the windows' own.
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    connect(this, &QTableWidget::currentCellChanged, this, [this](int r, int c) {
        if (r >= 0 && c >= 0) {
            m_row = r;
            m_col = c;
        }
    });
}

void FlexGrid::setRows(int rows)
{
    setRowCount(std::max(rows, 1));
    if (m_row >= rowCount())
        m_row = rowCount() - 1;
}

void FlexGrid::setRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    m_row = row;
    if (row > 0)
        setCurrentCell(row, m_col);
}

void FlexGrid::setCol(int col)
{
    if (col < 0 || col >= columnCount())
        return;
    m_col = col;
    if (m_row > 0)
        setCurrentCell(m_row, col);
}

QTableWidgetItem *FlexGrid::cell(int row, int col)
{
    QTableWidgetItem *it = item(row, col);
    if (!it) {
        it = new QTableWidgetItem;
        if (row == 0) {
            it->setFlags(Qt::ItemIsEnabled);
            it->setBackground(palette().button());
            it->setTextAlignment(Qt::AlignCenter);
        }
        setItem(row, col, it);
    }
    return it;
}

QString FlexGrid::textMatrix(int row, int col) const
{
    const QTableWidgetItem *it = item(row, col);
    return it ? it->text() : QString();
}

void FlexGrid::setTextMatrix(int row, int col, const QString &text)
{
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount())
        return;
    cell(row, col)->setText(text);
}

std::optional<double> FlexGrid::numberMatrix(int row, int col) const
{
    const QTableWidgetItem *it = item(row, col);
    const QVariant v = it ? it->data(Qt::UserRole) : QVariant();
    return v.isValid() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

void FlexGrid::setNumberMatrix(int row, int col, std::optional<double> number)
{
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount())
        return;
    cell(row, col)->setData(Qt::UserRole, number ? QVariant(*number) : QVariant());
}

void FlexGrid::setCellAlignment(int row, int col, Qt::Alignment alignment)
{
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount())
        return;
    cell(row, col)->setTextAlignment(alignment);
}

int FlexGrid::colWidthTwips(int col) const
{
    const auto set = m_widths.constFind(col);
    if (set != m_widths.cend() && set->second == columnWidth(col))
        return set->first;
    return static_cast<int>(std::lround(pixelsToTwips(columnWidth(col))));
}

void FlexGrid::setColWidthTwips(int col, int twips)
{
    setColumnWidth(col, std::max(0, twipsToPixels(twips)));
    m_widths.insert(col, {twips, columnWidth(col)});
}

void FlexGrid::setFontSize(double points)
{
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 6);
}

} // namespace zumen
