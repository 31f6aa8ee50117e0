#include "text/request_file.h"

#include "text/cp932.h"

#include <QDir>
#include <QSaveFile>

namespace zumen {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::optional<QString> firstField(const QByteArray &bytes)
{
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n && isBlank(bytes[i]))
        ++i;
    // cp932 trail bytes are never below 0x40, so quotes, commas and line ends are found
    // byte by byte without splitting a character.
    QByteArray field;
    if (i < n && bytes[i] == '"') {
        for (++i; i < n; ++i) {
            const char c = bytes[i];
            if (c == '"') {
                if (i + 1 < n && bytes[i + 1] == '"') {
                    field += '"';
                    ++i;
                    continue;
                }
                break;
            }
            if (c == '\r' || c == '\n')
                break;
            field += c;
        }
    } else {
        while (i < n && bytes[i] != ',' && bytes[i] != '\r' && bytes[i] != '\n')
            field += bytes[i++];
        while (!field.isEmpty() && isBlank(field.back()))
            field.chop(1);
    }
    // A binary file is no request.
    if (field.contains('\0'))
        return std::nullopt;
    return fromCp932(field);
}

bool writeRequest(const QString &folder, const QString &kind, const QString &value, QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (kind != Zuban && kind != Hinnamae)
        return fail(QStringLiteral("種類は ZUBAN か HINNAMAE です: %1").arg(kind));
    const QByteArray encoded = toCp932(value);
    if (fromCp932(encoded) != value)
        return fail(QStringLiteral("cp932 で書けない文字があります: %1").arg(value));
    if (value.contains(u'\r') || value.contains(u'\n') || value.contains(QChar(0)))
        return fail(QStringLiteral("改行や制御文字は書けません"));

    QByteArray field = encoded;
    field.replace('"', "\"\"");
    const QDir dir(folder);
    auto write = [&](const QString &name, const QByteArray &content) {
        QSaveFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
            return fail(QStringLiteral("%1 を書けません: %2").arg(dir.filePath(name), file.errorString()));
        return true;
    };
    // The value first: the trigger says the request is complete.
    return write(kind, '"' + field + "\"\r\n") && write(Trigger, kind.toLatin1() + "\r\n");
}

} // namespace zumen
