#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace zumen {

// Item kinds as codes; the layout tables hold them as the letters N, S, D and M.
namespace Kind {
constexpr std::int16_t NotSet = 1;
constexpr std::int16_t Number = 2;
constexpr std::int16_t Text = 3;
constexpr std::int16_t Date = 4;
constexpr std::int16_t Memo = 5;
} // namespace Kind

struct LayoutItem {
    std::int16_t kind = 0;
    std::int16_t eda = 0;
    QString label;
    QString fmat;

    // The column that holds the item's values: Val, Str, Date or Text followed by eda;
    // empty for an item that is not set.
    QString column() const;
};

// Positions 0 to 9 hold a layout, ended by the first item of kind NotSet; position 10
// lies outside every layout.
using Layout = std::array<LayoutItem, 11>;

// The number of items in a layout: positions before the first NotSet, at most ten.
int ItemCount(const Layout &layout);

} // namespace zumen
