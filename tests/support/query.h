#pragma once

#include "db/database.h"

#include <QStringList>

// The first column of every row sql gives, as text: for checking what a test wrote.
inline QStringList queryColumn(zumen::Database &db, const QString &sql,
                               const QList<zumen::Variant> &binds = {})
{
    zumen::Statement st = db.prepare(sql);
    st.bindAll(binds);
    QStringList rows;
    while (st.step())
        rows << st.column(0).toString();
    return rows;
}

// The one number sql gives, such as a count.
inline std::int64_t queryNumber(zumen::Database &db, const QString &sql)
{
    return queryColumn(db, sql).value(0).toLongLong();
}
