#include "text/log.h"

namespace zumen {

Q_LOGGING_CATEGORY(logStart, "zumen.start", QtInfoMsg)
Q_LOGGING_CATEGORY(logDb, "zumen.db", QtInfoMsg)
Q_LOGGING_CATEGORY(logPages, "zumen.pages", QtInfoMsg)
Q_LOGGING_CATEGORY(logScan, "zumen.scan", QtInfoMsg)
Q_LOGGING_CATEGORY(logRequest, "zumen.request", QtInfoMsg)
Q_LOGGING_CATEGORY(logShown, "zumen.shown", QtInfoMsg)

} // namespace zumen
