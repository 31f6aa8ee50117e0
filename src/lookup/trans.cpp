#include "lookup/trans.h"

#include "app/cp932.h"
#include "app/desk.h"
#include "app/utility.h"
#include "card/info_frm.h"
#include "lookup/help_frm.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace zumen {

namespace {

const QString Trigger = QStringLiteral("TRIGGER");
const QString Zuban = QStringLiteral("ZUBAN");
const QString Hinnamae = QStringLiteral("HINNAMAE");

// A request field is a drawing number or a name; anything longer than this is not a
// request, and reading no further keeps a huge or binary file harmless.
constexpr qint64 MaxRead = 64 * 1024;
// No drawing number or name is this long; the engine could not even search for it.
constexpr qsizetype MaxValue = 4096;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

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

QString quoted(const QString &value)
{
    QString out = value;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

Help_frm &lookupList(Desk &desk)
{
    if (auto *list = desk.card->findChild<Help_frm *>())
        return *list;
    return *new Help_frm(desk.db, desk.card);
}

void lookUp(Desk &desk, const QString &value, const QString &column, const QString &state)
{
    Recordset rs = desk.db.openRecordset(QStringLiteral("SELECT * FROM DT") + QStringLiteral(" WHERE ") +
                                         column + QStringLiteral("='") + quoted(value) + QStringLiteral("'"));
    if (!rs.eof()) {
        rs.moveLast();
        if (rs.recordCount() == 1) {
            rs.moveFirst();
            const auto id = static_cast<std::int32_t>(NullToZero(rs.field(QStringLiteral("ID"))).toInteger());
            rs.close();
            desk.card->Display(id);
            return;
        }
    }
    rs.close();
    Help_frm &list = lookupList(desk);
    list.Init(state, value, QString());
    list.showModal();
    if (!list.Picked)
        return;
    bool ok = false;
    const std::int32_t id = list.PickedValue.toInt(&ok);
    if (ok)
        desk.card->Display(id);
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

void CheckRequestFile(Desk &desk)
{
    // Showing the card from inside a request must not serve the next one half-way.
    static bool serving = false;
    if (serving || !desk.card)
        return;
    // Exact case only: a "trigger" on a file system that ignores case is not a request.
    if (!QDir::current().entryList({Trigger}, QDir::Files | QDir::Hidden).contains(Trigger))
        return;
    serving = true;
    struct Reset {
        ~Reset() { serving = false; }
    } reset;

    const std::optional<QString> kind = takeField(Trigger);
    if (!kind)
        return;
    QString valueFile;
    QString column;
    if (*kind == Zuban) {
        valueFile = Zuban;
        column = QStringLiteral("Str1");
    } else if (*kind == Hinnamae) {
        valueFile = Hinnamae;
        column = QStringLiteral("Str2");
    } else {
        return;
    }
    const std::optional<QString> value = takeField(valueFile);
    if (!value || value->size() > MaxValue)
        return;
    lookUp(desk, *value, column, *kind);
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
