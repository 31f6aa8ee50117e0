// The request file's field from any bytes: no crash, one line's text without NUL; and any
// value the writer can put in cp932 is read back unchanged.
#include "text/cp932.h"
#include "text/request_file.h"

#include <cstdio>
#include <cstdlib>

using namespace zumen;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (const std::optional<QString> field = firstField(bytes)) {
        if (field->contains(u'\r') || field->contains(u'\n') || field->contains(QChar(0)))
            std::abort();
    }

    // The writer's form: the value in quotes, quotes doubled, a line end.
    const QString value = QString::fromUtf8(bytes);
    QByteArray encoded = toCp932(value);
    if (fromCp932(encoded) != value || value.contains(u'\r') || value.contains(u'\n') ||
        value.contains(QChar(0)))
        return 0;
    encoded.replace('"', "\"\"");
    const std::optional<QString> back = firstField('"' + encoded + "\"\r\n");
    if (back != value) {
        std::fprintf(stderr, "\"%s\" read back as \"%s\"\n", value.toUtf8().constData(),
                     back ? back->toUtf8().constData() : "(nothing)");
        std::abort();
    }
    return 0;
}
