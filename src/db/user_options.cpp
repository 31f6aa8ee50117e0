#include "db/user_options.h"

#include "db/database.h"
#include "text/utility.h"

namespace zumen {

QString ReadOption(Database &db, int code)
{
    Recordset rs =
        db.openRecordset(QStringLiteral("SELECT * FROM UserOP WHERE Code=") + QString::number(code));
    return rs.eof() ? QString() : NullToEmpty(rs.field(QStringLiteral("Contents"))).toString().trimmed();
}

void WriteOption(Database &db, int code, const QString &text)
{
    Recordset rs =
        db.openRecordset(QStringLiteral("SELECT * FROM UserOP WHERE Code=") + QString::number(code));
    if (rs.eof()) {
        rs.addNew();
        rs.setField(QStringLiteral("Code"), code);
    } else {
        rs.edit();
    }
    rs.setField(QStringLiteral("Contents"), EmptyToSpace(text));
    rs.update();
}

} // namespace zumen
