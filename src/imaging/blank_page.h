#pragma once

class QImage;

namespace zumen {

// Whether a scanned sheet has nothing on it: with a border of 5 % on each side left out (the
// edges of a sheet often show the feeder's shadow or a punched hole), less than 0.3 % of what
// remains is dark. Dark is black on a bilevel page and below a quarter of white otherwise.
bool isBlankPage(const QImage &page);

} // namespace zumen
