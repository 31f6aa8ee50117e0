#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zumen {

// cp932 is the Japanese double-byte code page: request files from other programs are written in it,
// and the byte limits of labels and formats are counted in it.

// Characters that cp932 cannot represent become '?'.
QByteArray toCp932(const QString &text);
// nullopt when the bytes are not valid cp932.
std::optional<QString> fromCp932(const QByteArray &bytes);
// Byte length of text in cp932 (an unrepresentable character counts as its one '?').
int cp932Length(const QString &text);
// Number of UTF-16 units of the longest prefix of text that fits in maxBytes of cp932,
// never ending inside a character.
int cp932PrefixLength(const QString &text, int maxBytes);

} // namespace zumen
