#include "db/placement_store.h"

#include "db/database.h"
#include "db/upsert.h"
#include "text/utility.h"

namespace zumen {

std::optional<Placement> PlacementStore::placement(int row)
{
    Statement read = m_db.prepare(
        QStringLiteral("SELECT \"Left\", Top, Height, Width FROM Pos WHERE ID=?1 ORDER BY rowid LIMIT 1"));
    read.bind(1, row);
    if (!read.step())
        return std::nullopt;
    const auto twips = [&](int i) { return NullToZero(read.column(i)).toDouble(); };
    return Placement{twips(0), twips(1), twips(2), twips(3)};
}

void PlacementStore::writePlacement(int row, const Placement &placement)
{
    // A reading role's windows keep their places for the session only.
    if (m_db.readOnly())
        return;
    upsertRow(m_db, QStringLiteral("Pos"), {{QStringLiteral("ID"), row}},
              {{QStringLiteral("Left"), placement.left},
               {QStringLiteral("Top"), placement.top},
               {QStringLiteral("Height"), placement.height},
               {QStringLiteral("Width"), placement.width}});
}

std::optional<int> PlacementStore::width(int row)
{
    Statement read = m_db.prepare(QStringLiteral("SELECT Width FROM Pos WHERE ID=?1 ORDER BY rowid LIMIT 1"));
    read.bind(1, row);
    if (!read.step())
        return std::nullopt;
    return static_cast<int>(NullToZero(read.column(0)).toInteger());
}

void PlacementStore::writeWidth(int row, int twips)
{
    if (m_db.readOnly())
        return;
    upsertRow(m_db, QStringLiteral("Pos"), {{QStringLiteral("ID"), row}}, {{QStringLiteral("Width"), twips}});
}

} // namespace zumen
