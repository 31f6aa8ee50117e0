#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zumen {

// The request files another program leaves in the working folder: "TRIGGER" names the kind,
// the file of that name holds the value. Reading and writing them needs no window.
inline const QString Trigger = QStringLiteral("TRIGGER");
inline const QString Zuban = QStringLiteral("ZUBAN");
inline const QString Hinnamae = QStringLiteral("HINNAMAE");

// The first comma-delimited field of a request file's text in cp932: blanks around it
// dropped, a field in double quotes may hold commas and doubled quotes. Only the first line
// counts. nullopt when the field is not valid cp932 text.
std::optional<QString> firstField(const QByteArray &bytes);

// Leaves a request in folder as another program would: the value file first, then
// "TRIGGER", each written under a temporary name and renamed so that a half-written file is
// never seen. False, with the reason in error, for an unknown kind, a value that cp932
// cannot hold or a file that cannot be written.
bool writeRequest(const QString &folder, const QString &kind, const QString &value, QString *error = nullptr);

} // namespace zumen
