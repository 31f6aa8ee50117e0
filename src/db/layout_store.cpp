#include "db/layout_store.h"

#include "db/database.h"
#include "db/db_error.h"
#include "text/utility.h"

#include <algorithm>

namespace zumen {

namespace {

QString tableName(LayoutStore::Table table)
{
    return table == LayoutStore::Table::Main ? QStringLiteral("Desgn") : QStringLiteral("DesgnHS");
}

void clear(Layout &layout)
{
    for (int i = 0; i < 10; ++i)
        layout[static_cast<std::size_t>(i)] = LayoutItem{Kind::NotSet, 0, QString(), QString()};
}

bool isSet(std::int16_t kind)
{
    return kind >= Kind::Number && kind <= Kind::Memo;
}

std::int16_t kindOf(const QString &letter)
{
    if (letter == QLatin1String("N"))
        return Kind::Number;
    if (letter == QLatin1String("S"))
        return Kind::Text;
    if (letter == QLatin1String("D"))
        return Kind::Date;
    if (letter == QLatin1String("M"))
        return Kind::Memo;
    return Kind::NotSet;
}

QString letterOf(std::int16_t kind)
{
    switch (kind) {
    case Kind::Number:
        return QStringLiteral("N");
    case Kind::Text:
        return QStringLiteral("S");
    case Kind::Date:
        return QStringLiteral("D");
    default:
        return QStringLiteral("M");
    }
}

// Fills positions from the rows in ascending ID; the stored ID itself is not used.
// An empty table gives false.
bool fill(Database &db, LayoutStore::Table table, Layout &layout)
{
    Statement rows =
        db.prepare(QStringLiteral("SELECT Koumoku, Eda, Label, fmat FROM %1 ORDER BY ID LIMIT %2")
                       .arg(tableName(table))
                       .arg(layout.size()));
    std::size_t n = 0;
    while (n < layout.size() && rows.step()) {
        LayoutItem &item = layout[n++];
        // An unknown letter leaves the kind the position had.
        if (const std::int16_t kind = kindOf(NullToEmpty(rows.column(0)).toString()); kind != Kind::NotSet)
            item.kind = kind;
        item.eda = static_cast<std::int16_t>(NullToZero(rows.column(1)).toInteger());
        item.label = NullToEmpty(rows.column(2)).toString();
        item.fmat = NullToEmpty(rows.column(3)).toString();
    }
    return n > 0;
}

} // namespace

void LayoutStore::load(Layout &main, Layout &history)
{
    clear(main);
    clear(history);
    if (!fill(m_db, Table::Main, main))
        return;
    fill(m_db, Table::History, history);
}

bool LayoutStore::loadsAs(Table table, const Layout &asLoaded)
{
    Layout main, history;
    load(main, history);
    const Layout &now = table == Table::Main ? main : history;
    const auto same = [](const LayoutItem &a, const LayoutItem &b) {
        return a.kind == b.kind && a.eda == b.eda && a.label == b.label && a.fmat == b.fmat;
    };
    return std::equal(now.begin(), now.end(), asLoaded.begin(), same);
}

void LayoutStore::refuseIfChanged(Table table, const Layout &asLoaded)
{
    if (!loadsAs(table, asLoaded))
        throw ChangedSinceShown(QStringLiteral("項目の設定が起動した後にほかの画面で変更されています。"
                                               "Zumen を起動し直してから保存してください。入力した値は"
                                               "画面に残っています。"));
}

void LayoutStore::write(Table table, const Layout &layout, const Layout *asLoaded)
{
    const QString name = tableName(table);
    Transaction transaction(m_db);
    // Read as the start-up reads them, under the write lock.
    if (asLoaded && !loadsAs(table, *asLoaded))
        throw ChangedSinceShown(QStringLiteral("レイアウトは読み込んだ後にほかの画面で変更されています。"
                                               "再起動すると、その内容が見えます。"));
    m_db.prepare(QStringLiteral("DELETE FROM ") + name).run();
    Statement insert = m_db.prepare(
        QStringLiteral("INSERT INTO %1 (ID, Koumoku, Eda, Label, fmat) VALUES (?1, ?2, ?3, ?4, ?5)")
            .arg(name));
    for (int p = 0; p < 10; ++p) {
        const LayoutItem &item = layout[static_cast<std::size_t>(p)];
        if (!isSet(item.kind))
            break;
        insert.bindAll({p, letterOf(item.kind), item.eda, EmptyToSpace(item.label), EmptyToSpace(item.fmat)});
        insert.run();
    }
    transaction.commit();
}

} // namespace zumen
