#pragma once

#include "scan/scan_types.h"

#include <QByteArray>
#include <QImage>

#include <sane/sane.h>

#include <vector>

namespace zumen {

// One frame as the device sent it: the whole page in grey or RGB, or one colour of a
// three-pass scan. Samples of 16 bits are in the machine's byte order.
struct ScanFrame {
    SANE_Frame format = SANE_FRAME_GRAY;
    int depth = 8;
    int pixelsPerLine = 0;
    int bytesPerLine = 0;
    int lines = -1; // -1 when the device did not know the height beforehand
    QByteArray data;
};

// Whether frames of this layout can be read: grey of 1, 8 or 16 bits, RGB or one colour of
// 8 or 16 bits, lines at least as long as their pixels need.
bool frameReadable(const SANE_Parameters &parameters);

// Builds the page in the form the mode asks for, whatever the device sent: Format_Mono with
// 0 white and 1 black, Format_Grayscale8 or Format_RGB32. Only complete lines count.
// Returns SANE_STATUS_GOOD, SANE_STATUS_UNSUPPORTED for frames that do not make a page,
// SANE_STATUS_IO_ERROR when not one line arrived, SANE_STATUS_NO_MEM when the image does not fit.
SANE_Status assemblePage(const std::vector<ScanFrame> &frames, ScanMode mode, QImage &page);

} // namespace zumen
