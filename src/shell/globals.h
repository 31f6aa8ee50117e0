#pragma once

#include <QString>

namespace zumen {

// Program-wide values: the two data folders read at start-up (changes take effect at the
// next start), whether a search has produced a result list, and which layout the designer edits.
inline QString ScanDataFolder;
inline QString FileDataFolder;
inline bool SearchActive = false;
inline QString DesignTarget;

} // namespace zumen
