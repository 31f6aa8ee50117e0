#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace zumen {

struct Archive;
class NumberedError;
struct Desk;
class StructureCheck;

using ErrorBox = std::function<void(const QString &title, const QString &text)>;

// What the start-up makes sure of QV.MDB before the windows show.
enum class StartCheck {
    None,      // only open it: damage that shows while starting is repaired all the same
    Structure, // check its whole structure first, which takes longer the bigger the file
    Repair,    // rebuild it first: damage was found while it was open
};

// The text of the start-up error box: "エラー番号 ", the number (a blank before one that is
// not negative), the error's source, " でエラーが発生しました。 ", character 13, the description.
QString startupErrorText(const NumberedError &error);

// Reads the two data folders from UserOP into archive.scanFolder and archive.fileFolder, as
// absolute folders (blank when not set). An option that still holds an absolute folder inside
// the working folder is rewritten relative to it (both in one transaction); gives a line for
// each one rewritten.
QStringList ReadFolderOptions(Archive &archive);

// The start-up sequence in the current folder: open QV.MDB (rebuilding a damaged file once:
// found so by the check asked for, or by the engine at any step), load the layouts and folders,
// create the windows, restore their placements and show the record card and the page viewer.
// A failure goes to errorBox(title, text) and gives null: the program then ends with no window left.
std::unique_ptr<Desk> StartDesk(const ErrorBox &errorBox, StartCheck check = StartCheck::None);

// The desk as the program keeps it for the whole run. QV.MDB's structure is checked after the
// windows show, in the background; before them only when the last run did not end cleanly (a
// marker beside the file, written once it is open and removed when the run ends, says so).
// Damage found by that check, or by the engine in any operation, closes the windows, rebuilds
// the file as the start-up does and starts the desk again.
class DeskRun : public QObject {
public:
    // The marker's name in the working folder.
    static const QString OpenMarker;

    DeskRun(ErrorBox errorBox, std::function<void()> endProgram);
    ~DeskRun() override;
    // Starts the desk in the current folder; false when it could not (told through errorBox).
    bool start();
    Desk *desk() const { return m_desk.get(); }

private:
    bool start(StartCheck check);
    // Damage found in the desk started as number `desk` of this run.
    void damageFound(int desk);
    void closeDesk();

    ErrorBox m_errorBox;
    std::function<void()> m_endProgram;
    QString m_marker;
    std::unique_ptr<StructureCheck> m_check;
    std::unique_ptr<Desk> m_desk;
    bool m_repairing = false;
    int m_started = 0; // desks started in this run
};

} // namespace zumen
