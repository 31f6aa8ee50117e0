#pragma once

#include <QLoggingCategory>

namespace zumen {

// What the program tells a support person, by area. Debug messages are off unless
// QT_LOGGING_RULES turns them on (for example "zumen.*.debug=true").
Q_DECLARE_LOGGING_CATEGORY(logStart)   // start-up, the working folder, the command line
Q_DECLARE_LOGGING_CATEGORY(logDb)      // QV.MDB: opening, repairs, engine errors
Q_DECLARE_LOGGING_CATEGORY(logPages)   // page image files
Q_DECLARE_LOGGING_CATEGORY(logScan)    // the scanner
Q_DECLARE_LOGGING_CATEGORY(logRequest) // requests other programs leave in the working folder
Q_DECLARE_LOGGING_CATEGORY(logShown)   // every message the program showed the user

} // namespace zumen
