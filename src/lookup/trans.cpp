#include "lookup/trans.h"

#include "db/archive.h"
#include "lookup/help_frm.h"
#include "text/log.h"
#include "text/request_file.h"
#include "text/utility.h"

#include <QDir>
#include <QFile>

namespace zumen {

namespace {

// A request field is a drawing number or a name; anything longer than this is not a
// request, and reading no further keeps a huge or binary file harmless.
constexpr qint64 MaxRead = 64 * 1024;
// No drawing number or name is this long; the engine could not even search for it.
constexpr qsizetype MaxValue = 4096;

// The first field of the file; nullopt when it cannot be read.
std::optional<QString> readField(const QString &name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(MaxRead);
    file.close();
    return firstField(bytes);
}

// Reads a request file and deletes it. nullopt when it is missing or unusable.
std::optional<QString> takeField(const QString &name)
{
    if (!QFileInfo(name).isFile())
        return std::nullopt;
    std::optional<QString> field = readField(name);
    if (!QFile::remove(name))
        return std::nullopt; // a request that cannot be consumed would be served on every activation
    return field;
}

Help_frm &lookupList(Database &db, QWidget &over)
{
    if (auto *list = over.findChild<Help_frm *>())
        return *list;
    return *new Help_frm(db, &over);
}

void lookUp(Archive &archive, QWidget &over, const std::function<void(std::int32_t)> &showRecord,
            const QString &value, const QString &column, const QString &state)
{
    if (const std::optional<std::int32_t> id = archive.records.soleRecordWith(column, value)) {
        showRecord(*id);
        return;
    }
    Help_frm &list = lookupList(archive.db, over);
    list.Init(state, value, QString());
    list.showModal();
    if (!list.Picked)
        return;
    bool ok = false;
    const std::int32_t id = list.PickedValue.toInt(&ok);
    if (ok)
        showRecord(id);
}

} // namespace

void CheckRequestFile(Archive &archive, QWidget *over, const std::function<void(std::int32_t)> &showRecord)
{
    // Showing the card from inside a request must not serve the next one half-way.
    static bool serving = false;
    if (serving || !over)
        return;
    // Exact case only: a "trigger" on a file system that ignores case is not a request.
    if (!QDir::current().entryList({Trigger}, QDir::Files | QDir::Hidden).contains(Trigger))
        return;
    serving = true;
    struct Reset {
        ~Reset() { serving = false; }
    } reset;

    const std::optional<QString> kind = takeField(Trigger);
    if (!kind) {
        qCWarning(logRequest) << "request file" << Trigger << "could not be read or removed";
        return;
    }
    QString valueFile;
    QString column;
    if (*kind == Zuban) {
        valueFile = Zuban;
        column = QStringLiteral("Str1");
    } else if (*kind == Hinnamae) {
        valueFile = Hinnamae;
        column = QStringLiteral("Str2");
    } else {
        qCWarning(logRequest) << "request of unknown kind refused:" << kind->left(64);
        return;
    }
    const std::optional<QString> value = takeField(valueFile);
    if (!value || value->size() > MaxValue) {
        qCWarning(logRequest) << "request" << *kind
                              << "refused: its value file is missing, unreadable or too long";
        return;
    }
    qCInfo(logRequest) << "request" << *kind << *value;
    lookUp(archive, *over, showRecord, *value, column, *kind);
}

} // namespace zumen
