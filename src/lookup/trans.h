#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zumen {

struct Desk;

// Serves a request another program left in the working folder: "TRIGGER" names the kind
// ("ZUBAN" or "HINNAMAE"), the file of that name holds the drawing number or product name.
// Both files are deleted before the lookup; one matching record is shown on the card at once,
// otherwise the lookup list lets the user pick one.
void CheckRequestFile(Desk &desk);

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
