#pragma once

#include "db/layouts.h"
#include "text/variant.h"

#include <QString>

#include <optional>

namespace zumen {

// One value cell of a card's item grid: the text the user sees and, for a number item,
// the number the record holds. The grid is the card's working copy of the record.
struct ItemCell {
    QString text;
    std::optional<double> number;
};

// A number in the item's format, right-aligned in a field as wide as the format. A number
// the format cannot hold (12345 under "#,##0", anything under a blank format) is shown
// whole rather than cut on the left, so the user never reads a wrong value.
QString numberCellText(double value, const QString &fmat);

// The cell showing a stored value: numbers (Null as 0) in their format, texts (Null as ""),
// dates as yyyy/MM/dd or "0000/00/00", memos whole.
ItemCell displayCell(const LayoutItem &item, const Variant &stored);

// The cell after the user pressed Enter on the value box. A number left as it was shown
// keeps the number the record holds; a date left at "0000/00/00" or emptied stays without
// a date; any other text that is no date becomes the zero date.
ItemCell enteredCell(const LayoutItem &item, const QString &box, const ItemCell &before);

// The value a save writes for the cell: the held number, the trimmed text (an empty one as
// one blank when emptyAsSpace), Null for "0000/00/00", otherwise the date the text denotes.
Variant storedValue(const LayoutItem &item, const ItemCell &cell, bool emptyAsSpace);

} // namespace zumen
