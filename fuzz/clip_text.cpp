// Clipping any text (lone surrogates included) to any byte limit: a prefix, within the limit
// in cp932, as long as fits, never half a character.
#include "text/cp932.h"
#include "text/utility.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

using namespace zumen;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int maxBytes = in.ConsumeIntegralInRange(-2, 600);
    // Raw UTF-16 units, so that lone surrogates come too.
    const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    QString text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    const QString clipped = ClipToMaxLength(text, maxBytes);
    const qsizetype n = clipped.size();
    if (!text.startsWith(clipped) || cp932Length(clipped) > std::max(maxBytes, 0))
        std::abort();
    if (n > 0 && n < text.size() && text[n - 1].isHighSurrogate() && text[n].isLowSurrogate())
        std::abort();
    if (n < text.size() && maxBytes > 0) {
        // The next character would not have fitted.
        const qsizetype next =
            text[n].isHighSurrogate() && n + 1 < text.size() && text[n + 1].isLowSurrogate() ? 2 : 1;
        if (cp932Length(text.left(n + next)) <= maxBytes)
            std::abort();
    }
    return 0;
}
