#pragma once

#include "db/numbered_error.h"

namespace zumen {

// Error numbers of page files, the viewer, printing and the scanner that callers test for.
namespace PageErr {
constexpr int NoScanner = 5;
constexpr int InvalidArgument = 5; // a call with an argument out of range
constexpr int NoMemory = 7;
constexpr int Missing = 53;
constexpr int Unreadable = 75; // cannot be read or written
constexpr int Undecodable = 321;
constexpr int NoPicture = 481;
constexpr int PrinterFailed = 482;
constexpr int ZoomRefused = 1001;
constexpr int OtherPagesAtRisk = 1002; // writing back would lose the file's other pages
constexpr int PrintCancelled = 32755;
} // namespace PageErr

} // namespace zumen
