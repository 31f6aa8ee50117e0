#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace zumen {

struct Archive;
class NumberedError;
struct Desk;

// The text of the start-up error box: "エラー番号 ", the number (a blank before one that is
// not negative), the error's source, " でエラーが発生しました。 ", character 13, the description.
QString startupErrorText(const NumberedError &error);

// Reads the two data folders from UserOP into archive.scanFolder and archive.fileFolder, as
// absolute folders (blank when not set). An option that still holds an absolute folder inside
// the working folder is rewritten relative to it (both in one transaction); gives a line for
// each one rewritten.
QStringList ReadFolderOptions(Archive &archive);

// The start-up sequence in the current folder: open QV.MDB (rebuilding a damaged file once),
// load the layouts and folders, create the windows, restore their placements and show the
// record card and the page viewer. A failure goes to errorBox(title, text) and gives null:
// the program then ends with no window left.
std::unique_ptr<Desk> StartDesk(const std::function<void(const QString &, const QString &)> &errorBox);

} // namespace zumen
