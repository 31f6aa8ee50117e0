#pragma once

#include "db/options_store.h"

namespace zumen {

// The options as read and written before the store: the same as OptionsStore(db).read / write.
inline QString ReadOption(Database &db, int code)
{
    return OptionsStore(db).read(code);
}
inline void WriteOption(Database &db, int code, const QString &text)
{
    OptionsStore(db).write(code, text);
}

} // namespace zumen
