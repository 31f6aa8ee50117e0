#include "card/item_values.h"

#include "text/utility.h"

#include <cmath>

namespace zumen {
namespace {

const QString NoDate = QStringLiteral("0000/00/00");

} // namespace

QString numberCellText(double value, const QString &fmat)
{
    if (fmat.trimmed().isEmpty())
        return FormatNumber(Variant(value), QString());
    const QString formatted = FormatNumber(Variant(value), fmat);
    if (formatted.size() > fmat.size())
        return formatted;
    return FormatRight(Variant(value), fmat);
}

ItemCell displayCell(const LayoutItem &item, const Variant &stored)
{
    switch (item.kind) {
    case Kind::Number: {
        // Values are shown as the currency type of the file engine would: four decimals.
        const double value = std::round(NullToZero(stored).toDouble() * 10000.0) / 10000.0;
        return {numberCellText(value, item.fmat), value};
    }
    case Kind::Date:
        return {DateText(stored), std::nullopt};
    default:
        return {NullToEmpty(stored).toString(), std::nullopt};
    }
}

ItemCell enteredCell(const LayoutItem &item, const QString &box, const ItemCell &before)
{
    switch (item.kind) {
    case Kind::Number: {
        if (before.number && box.trimmed() == before.text.trimmed())
            return before;
        const double value = NumberValue(box);
        return {numberCellText(value, item.fmat), value};
    }
    case Kind::Date: {
        const QString typed = box.trimmed();
        if (typed.isEmpty() || typed == NoDate)
            return {NoDate, std::nullopt};
        return {FormatDate(TextToDate(typed)), std::nullopt};
    }
    default:
        return {box.trimmed(), std::nullopt};
    }
}

Variant storedValue(const LayoutItem &item, const ItemCell &cell, bool emptyAsSpace)
{
    switch (item.kind) {
    case Kind::Number:
        return Variant(cell.number ? *cell.number : NumberValue(cell.text));
    case Kind::Date:
        return cell.text == NoDate ? Variant() : Variant(TextToDate(cell.text));
    default: {
        const Variant text(cell.text.trimmed());
        return emptyAsSpace ? EmptyToSpace(text) : text;
    }
    }
}

} // namespace zumen
