#pragma once

#include <QString>

namespace zumen::WorkingFolder {

// Makes a working folder as init does (and refuses an existing QV.MDB as init does), then
// fills it with a drawing office's worth of made-up records, the same ones for the same seed:
// drawing numbers like A3-2023-004512, Japanese product names (some in half-width katakana),
// dates over twenty years, numbers from 0 to 10000, a memo on a quarter of the records,
// page 1 on every record and page 2 on every tenth. The page files are a few sample sheets
// in the scan folder shared by all records; the A1 one at 400 dpi from 1000 records on.
// Throws as init does; a failure after init leaves no QV.MDB behind.
void generate(const QString &folder, int records, quint32 seed = 1);

} // namespace zumen::WorkingFolder
