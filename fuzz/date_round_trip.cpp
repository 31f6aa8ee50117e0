// A date read from any text is written as yyyy/MM/dd and read back as the same date.
#include "text/utility.h"

#include <cstdio>
#include <cstdlib>

using namespace zumen;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QDate today(2024, 6, 15); // fixed, so that a finding repeats
    const std::optional<QDate> date = ParseDate(text, today);
    const QDate stored = TextToDate(text);
    if (!date) {
        if (stored != ZeroDate())
            std::abort();
        return 0;
    }
    const QString written = FormatDate(*date);
    const std::optional<QDate> again = ParseDate(written, today);
    if (!date->isValid() || !again || *again != *date) {
        std::fprintf(stderr, "\"%s\" -> %s\n", text.toUtf8().constData(), written.toUtf8().constData());
        std::abort();
    }
    return 0;
}
