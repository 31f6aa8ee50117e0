// Number formats with any value and any format text: no crash, and output bounded by the
// format and the value's own digits.
#include "text/utility.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>

using namespace zumen;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Variant value;
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        value = Variant(in.ConsumeFloatingPoint<double>());
        break;
    case 1:
        value = Variant(static_cast<std::int64_t>(in.ConsumeIntegral<std::int64_t>()));
        break;
    case 2:
        value = Variant(QString::fromUtf8(in.ConsumeRandomLengthString(40)));
        break;
    default:
        break; // Null
    }
    const QString format = QString::fromUtf8(in.ConsumeRemainingBytesAsString());
    const QString text = FormatNumber(value, format);
    // A double has at most 309 integer digits and 17 significant ones; each "%" moves the
    // point by two places, each placeholder adds at most a digit and a separator.
    const qsizetype bound = 4 * format.size() + 2 * 309 + 64 + value.toString().size();
    if (text.size() > bound)
        std::abort();
    // As wide as the format, with no more than 20 blanks in front.
    if (FormatRight(value, format).size() != std::min(format.size(), text.size() + 20))
        std::abort();
    return 0;
}
