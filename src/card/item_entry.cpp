#include "card/item_entry.h"

#include "card/item_values.h"
#include "card/memo_frm.h"
#include "dialogs/guard.h"
#include "text/utility.h"
#include "widgets/flex_grid.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>

namespace zumen {

ItemEntry::ItemEntry(PlacementStore &placements, Parts parts, Rules rules, std::int16_t &current,
                     std::function<void()> save, QObject *parent)
    : QObject(parent), m_placements(placements), m_parts(parts), m_rules(rules), m_current(current),
      m_save(std::move(save))
{
    m_parts.name->installEventFilter(this);
    m_parts.valueBox->installEventFilter(this);
}

const LayoutItem &ItemEntry::item(int position) const
{
    return (*m_rules.layout)[static_cast<std::size_t>(position)];
}

// Past the last item: position 10, or the first item that is not set.
bool ItemEntry::pastEnd(int position) const
{
    return position < 0 || position >= 10 || item(position).kind == Kind::NotSet;
}

void ItemEntry::buildGrid()
{
    FlexGrid &grid = *m_parts.grid;
    grid.setFontSize(12);
    grid.setTextMatrix(0, 0, QStringLiteral("項目"));
    grid.setCellAlignment(0, 0, Qt::AlignCenter);
    grid.setTextMatrix(0, 1, QStringLiteral("値"));
    grid.setCellAlignment(0, 1, Qt::AlignLeft | Qt::AlignVCenter);
    RestoreGridWidths(m_placements, grid, m_rules.itemColumnRow, m_rules.valueColumnRow);
    for (int i = 0; i < ItemCount(*m_rules.layout); ++i) {
        grid.setRows(i + 2);
        grid.setTextMatrix(i + 1, 0, item(i).label);
        grid.setCellAlignment(i + 1, 0, Qt::AlignCenter);
        grid.setCellAlignment(i + 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
    }
}

void ItemEntry::saveGridWidths()
{
    SaveGridWidths(m_placements, *m_parts.grid, m_rules.itemColumnRow, m_rules.valueColumnRow);
}

void ItemEntry::fitTo(const QWidget &window)
{
    if (window.isMinimized())
        return;
    const double w = pixelsToTwips(window.frameGeometry().width());
    const double h = pixelsToTwips(window.frameGeometry().height());
    m_parts.grid->resize(twipsToPixels(w - 2000), twipsToPixels(h - 1200));
    m_parts.itemLabel->move(m_parts.itemLabel->x(), twipsToPixels(h - 780));
    m_parts.valueBox->setGeometry(m_parts.valueBox->x(), twipsToPixels(h - 780), twipsToPixels(w - 4000),
                                  m_parts.valueBox->height());
}

void ItemEntry::showRow(const RowValues &row)
{
    m_parts.name->setText(NullToEmpty(row.value(QStringLiteral("Namae"))).toString());
    for (int i = 0; i < ItemCount(*m_rules.layout); ++i) {
        if (item(i).kind < Kind::Number || item(i).kind > Kind::Memo)
            continue;
        const ItemCell cell = displayCell(item(i), row.value(item(i).column()));
        m_parts.grid->setTextMatrix(i + 1, 1, cell.text);
        m_parts.grid->setNumberMatrix(i + 1, 1, cell.number);
    }
}

void ItemEntry::clear()
{
    m_parts.name->clear();
    for (int i = 0; i < ItemCount(*m_rules.layout); ++i) {
        m_parts.grid->setTextMatrix(i + 1, 1, QString());
        m_parts.grid->setNumberMatrix(i + 1, 1, std::nullopt);
    }
}

RowValues ItemEntry::values() const
{
    RowValues row;
    row.insert(QStringLiteral("Namae"), EmptyToSpace(Variant(m_parts.name->text().trimmed())));
    for (int i = 0; i < m_parts.grid->rows() - 1 && !pastEnd(i); ++i) {
        const ItemCell cell{m_parts.grid->textMatrix(i + 1, 1), m_parts.grid->numberMatrix(i + 1, 1)};
        row.insert(item(i).column(), storedValue(item(i), cell, m_rules.emptyTextAsSpace));
    }
    return row;
}

void ItemEntry::showMemoReadOnly()
{
    const int position = m_parts.grid->row() - 1;
    if (!m_memo || pastEnd(position) || item(position).kind != Kind::Memo)
        return;
    m_parts.grid->setCol(1);
    m_memo->pMemo = m_parts.grid->textMatrix(position + 1, 1);
    m_memo->Init(item(position).label);
    m_memo->setLocked(true);
    m_memo->showModal();
    m_memo->setLocked(false);
}

void ItemEntry::beginEntry()
{
    m_current = 0;
    SelectAllText(*m_parts.name);
}

void ItemEntry::finish()
{
    m_parts.itemLabel->hide();
    m_parts.valueBox->hide();
}

void ItemEntry::editItem()
{
    for (;;) {
        const int c = m_current;
        if (pastEnd(c)) {
            m_save();
            return;
        }
        FlexGrid &grid = *m_parts.grid;
        grid.setRow(c + 1);
        grid.setCol(1);
        if (item(c).kind != Kind::Memo) {
            m_parts.itemLabel->setText(item(c).label);
            m_parts.itemLabel->setAccessibleName(item(c).label);
            m_parts.valueBox->setText(grid.text());
            m_parts.valueBox->setAccessibleName(item(c).label);
            SelectAllText(*m_parts.valueBox);
            return;
        }
        if (!m_memo) {
            m_current = static_cast<std::int16_t>(c + 1);
            continue;
        }
        Memo_frm &memo = *m_memo;
        memo.pMemo = grid.text();
        memo.Init(item(c).label);
        memo.showModal();
        grid.setTextMatrix(c + 1, 1, memo.pMemo);
        memo.hide();
        m_current = static_cast<std::int16_t>(c + 1);
    }
}

void ItemEntry::storeValueBox()
{
    const int c = m_current;
    if (pastEnd(c))
        return;
    FlexGrid &grid = *m_parts.grid;
    const ItemCell before{grid.textMatrix(c + 1, 1), grid.numberMatrix(c + 1, 1)};
    const ItemCell after = enteredCell(item(c), m_parts.valueBox->text(), before);
    grid.setTextMatrix(c + 1, 1, after.text);
    grid.setNumberMatrix(c + 1, 1, after.number);
}

bool ItemEntry::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (watched == m_parts.name && enter) {
        m_parts.itemLabel->show();
        m_parts.valueBox->show();
        guarded([this] { editItem(); });
        return true;
    }
    if (watched == m_parts.name && key == Qt::Key_Escape &&
        isSignalConnected(QMetaMethod::fromSignal(&ItemEntry::escapeInName))) {
        emit escapeInName();
        return true;
    }
    if (watched == m_parts.valueBox && enter) {
        storeValueBox();
        m_current = static_cast<std::int16_t>(std::min(m_current + 1, 10));
        guarded([this] { editItem(); });
        return true;
    }
    if (watched == m_parts.valueBox && key == Qt::Key_Up) {
        m_current = static_cast<std::int16_t>(std::max(m_current - 1, 0));
        guarded([this] { editItem(); });
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zumen
