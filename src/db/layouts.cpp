#include "db/layouts.h"

#include "db/database.h"
#include "text/utility.h"

namespace zumen {
namespace {

void clear(Layout &layout)
{
    for (int i = 0; i < 10; ++i)
        layout[i] = LayoutItem{Kind::NotSet, 0, QString(), QString()};
}

// Fills positions from the rows in ascending ID; the stored ID itself is not used.
// An empty table returns false.
bool fill(Database &db, const QString &table, Layout &layout)
{
    Recordset rs =
        db.openRecordset(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" ORDER BY ID"));
    if (rs.eof()) {
        rs.close();
        return false;
    }
    rs.moveLast();
    const long long n = std::min<long long>(rs.recordCount(), static_cast<long long>(layout.size()));
    rs.moveFirst();
    for (long long i = 0; i < n; ++i) {
        LayoutItem &item = layout[static_cast<std::size_t>(i)];
        const QString letter = NullToEmpty(rs.field(QStringLiteral("Koumoku"))).toString();
        if (letter == QLatin1String("N"))
            item.kind = Kind::Number;
        else if (letter == QLatin1String("S"))
            item.kind = Kind::Text;
        else if (letter == QLatin1String("D"))
            item.kind = Kind::Date;
        else if (letter == QLatin1String("M"))
            item.kind = Kind::Memo;
        item.eda = static_cast<std::int16_t>(NullToZero(rs.field(QStringLiteral("Eda"))).toInteger());
        item.label = NullToEmpty(rs.field(QStringLiteral("Label"))).toString();
        item.fmat = NullToEmpty(rs.field(QStringLiteral("fmat"))).toString();
        rs.moveNext();
    }
    rs.close();
    return true;
}

} // namespace

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
    clear(MainLayout);
    clear(HistoryLayout);
}

void LoadLayouts(Database &db)
{
    ClearLayouts();
    if (!fill(db, QStringLiteral("Desgn"), MainLayout))
        return;
    fill(db, QStringLiteral("DesgnHS"), HistoryLayout);
}

int ItemCount(const Layout &layout)
{
    int n = 0;
    while (n < 10 && layout[static_cast<std::size_t>(n)].kind != Kind::NotSet)
        ++n;
    return n;
}

} // namespace zumen
