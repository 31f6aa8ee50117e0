#include "db/layouts.h"

#include "db/layout_store.h"

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

void ClearLayouts()
{
    for (Layout *layout : {&MainLayout, &HistoryLayout}) {
        for (int i = 0; i < 10; ++i)
            (*layout)[static_cast<std::size_t>(i)] = LayoutItem{Kind::NotSet, 0, QString(), QString()};
    }
}

void LoadLayouts(Database &db)
{
    LayoutStore(db).load(MainLayout, HistoryLayout);
}

int ItemCount(const Layout &layout)
{
    int n = 0;
    while (n < 10 && layout[static_cast<std::size_t>(n)].kind != Kind::NotSet)
        ++n;
    return n;
}

} // namespace zumen
