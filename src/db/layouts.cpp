#include "db/layouts.h"

namespace zumen {

QString LayoutItem::column() const
{
    const char *prefix = nullptr;
    switch (kind) {
    case Kind::Number:
        prefix = "Val";
        break;
    case Kind::Text:
        prefix = "Str";
        break;
    case Kind::Date:
        prefix = "Date";
        break;
    case Kind::Memo:
        prefix = "Text";
        break;
    default:
        return {};
    }
    return QString::fromLatin1(prefix) + QString::number(eda);
}

int ItemCount(const Layout &layout)
{
    int n = 0;
    while (n < 10 && layout[static_cast<std::size_t>(n)].kind != Kind::NotSet)
        ++n;
    return n;
}

} // namespace zumen
