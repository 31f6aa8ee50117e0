#include "exchange/csv.h"

#include "db/archive.h"
#include "db/folders.h"
#include "text/cp932.h"
#include "text/utility.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zumen::Csv {
namespace {

enum class Role { Id, Entry, Name, Item, Pages };

struct Column {
    QString header;
    Role role;
    int item = -1; // position in the layout
};

const Layout &layoutOf(Archive &archive, Rows rows)
{
    return rows == Rows::Records ? archive.mainLayout : archive.historyLayout;
}

// The columns in file order. A blank label gets a header of its own so that its column can
// still be told apart.
QList<Column> columnsOf(const Layout &layout, Rows rows)
{
    QList<Column> columns{{QStringLiteral("ID"), Role::Id}};
    if (rows == Rows::History)
        columns.append({QStringLiteral("履歴番号"), Role::Entry});
    columns.append({QStringLiteral("名前"), Role::Name});
    for (int i = 0; i < ItemCount(layout); ++i) {
        const QString label = layout[i].label.trimmed();
        columns.append({label.isEmpty() ? QStringLiteral("項目%1").arg(i + 1) : label, Role::Item, i});
    }
    if (rows == Rows::Records)
        columns.append({QStringLiteral("ページ"), Role::Pages});
    return columns;
}

QString fieldText(const LayoutItem &item, const Variant &value, Dates dates)
{
    if (value.isNull())
        return {};
    switch (item.kind) {
    case Kind::Number:
        return QString::number(value.toDouble(), 'g', 15);
    case Kind::Date: {
        const QDate date = value.toDate();
        if (!date.isValid())
            return {};
        return dates == Dates::Iso ? date.toString(Qt::ISODate) : FormatDate(date);
    }
    default: {
        // An empty text is stored as one blank; the spreadsheet gets an empty field.
        const QString text = value.toString();
        return text.trimmed().isEmpty() ? QString() : text;
    }
    }
}

// The first character of the field cp932 cannot hold; none when it holds them all.
std::optional<QString> notInCp932(const QString &field)
{
    if (fromCp932(toCp932(field)) == field)
        return std::nullopt;
    for (const char32_t c : field.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (fromCp932(toCp932(one)) != one)
            return one;
    }
    return std::nullopt;
}

QString lineProblem(int line, const QString &text)
{
    return QStringLiteral("%1 行目: %2").arg(line).arg(text);
}

std::optional<QDate> readDate(const QString &text)
{
    // Spreadsheets write dates back as 2024/3/5 as often as 2024-03-05.
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

std::optional<double> readNumber(const QString &text)
{
    static const QRegularExpression grouped(QStringLiteral("^[-+]?\\d{1,3}(,\\d{3})+(\\.\\d*)?$"));
    QString plain = text;
    if (plain.contains(u',')) {
        if (!grouped.match(plain).hasMatch())
            return std::nullopt;
        plain.remove(u',');
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The value to store for a field; none when the field cannot be read for the item's kind.
std::optional<Variant> itemValue(const LayoutItem &item, const QString &field, bool emptyAsSpace)
{
    const QString text = field.trimmed();
    switch (item.kind) {
    case Kind::Number:
        if (text.isEmpty())
            return Variant();
        if (const std::optional<double> value = readNumber(text))
            return Variant(*value);
        return std::nullopt;
    case Kind::Date:
        if (text.isEmpty() || text == QLatin1String("0000/00/00"))
            return Variant();
        if (const std::optional<QDate> date = readDate(text))
            return Variant(*date);
        return std::nullopt;
    default:
        if (text.isEmpty())
            return emptyAsSpace ? Variant(QStringLiteral(" ")) : Variant(QString());
        return Variant(field);
    }
}

std::optional<std::int64_t> readWhole(const QString &text, std::int64_t highest)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 1 || value > highest)
        return std::nullopt;
    return value;
}

// One data row as read: its key (blank parts none) and values, or its problems.
struct Pending {
    int line = 0;
    std::optional<std::int32_t> id;
    std::optional<std::int16_t> entry;
    RowValues values;
    QStringList problems;
    bool keyRead = true; // false when the ID or entry number is unreadable
};

} // namespace

std::optional<QList<QStringList>> parse(const QString &text, QString *error)
{
    QList<QStringList> rows;
    QStringList fields;
    QString field;
    bool inQuotes = false, quotedField = false, rowStarted = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c != u'"')
                field += c;
            else if (i + 1 < n && text[i + 1] == u'"')
                field += text[++i];
            else
                inQuotes = false;
            continue;
        }
        rowStarted = true;
        if (c == u'"' && field.isEmpty() && !quotedField) {
            inQuotes = quotedField = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
            quotedField = false;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            fields << field;
            rows << fields;
            fields.clear();
            field.clear();
            quotedField = rowStarted = false;
        } else {
            field += c;
        }
    }
    if (inQuotes) {
        if (error)
            *error =
                lineProblem(int(rows.size()) + 1, QStringLiteral("引用符 \" で始まる欄が閉じていません。"));
        return std::nullopt;
    }
    if (rowStarted) {
        fields << field;
        rows << fields;
    }
    return rows;
}

QString row(const QStringList &fields)
{
    QStringList out;
    for (QString field : fields) {
        const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\r') ||
                           field.contains(u'\n') || field.startsWith(u' ') || field.endsWith(u' ');
        if (quote)
            field = u'"' + field.replace(u'"', QStringLiteral("\"\"")) + u'"';
        out << field;
    }
    return out.join(u',') + QStringLiteral("\r\n");
}

Exported exportRows(Archive &archive, const ExportOptions &options)
{
    const bool records = options.rows == Rows::Records;
    const Layout &layout = layoutOf(archive, options.rows);
    const QList<Column> columns = columnsOf(layout, options.rows);
    Exported result;
    QString text;
    // Some spreadsheets take a file that begins with the letters ID for another format; a
    // quoted first field reads the same everywhere else.
    QStringList header;
    for (const Column &column : columns)
        header << column.header;
    const QString first = header.takeFirst();
    text += QStringLiteral("\"%1\",").arg(first) + row(header);

    QHash<std::int32_t, QStringList> pages;
    if (records) {
        Statement p =
            archive.db.prepare(QStringLiteral("SELECT ID, Dir, FileName FROM PG ORDER BY ID, Page"));
        while (p.step())
            pages[static_cast<std::int32_t>(p.columnInteger(0))].append(WorkingFolder::pageFilePath(
                p.column(1).toString().trimmed(), p.column(2).toString().trimmed(), archive.scanFolder,
                archive.fileFolder));
    }

    Statement s = archive.db.prepare(records ? QStringLiteral("SELECT * FROM DT ORDER BY ID")
                                             : QStringLiteral("SELECT * FROM Hstry ORDER BY ID, Page"));
    QHash<QString, int> index;
    while (s.step()) {
        if (index.isEmpty()) {
            const QStringList names = s.columnNames();
            for (int i = 0; i < names.size(); ++i)
                index.insert(names[i].toLower(), i);
        }
        auto value = [&](const QString &name) {
            const int i = index.value(name.toLower(), -1);
            return i < 0 ? Variant() : s.typedColumn(i);
        };
        const auto id = static_cast<std::int32_t>(value(QStringLiteral("ID")).toInteger());
        QStringList fields;
        for (const Column &column : columns) {
            switch (column.role) {
            case Role::Id:
                fields << QString::number(id);
                break;
            case Role::Entry:
                fields << QString::number(value(QStringLiteral("Page")).toInteger());
                break;
            case Role::Name:
                fields << fieldText(LayoutItem{Kind::Text, 0, {}, {}}, value(QStringLiteral("Namae")),
                                    options.dates);
                break;
            case Role::Item: {
                const LayoutItem &item = layout[column.item];
                fields << (item.column().isEmpty() ? QString()
                                                   : fieldText(item, value(item.column()), options.dates));
                break;
            }
            case Role::Pages:
                fields << pages.value(id).join(u'\n');
                break;
            }
        }
        ++result.rows;
        if (options.encoding == Encoding::Cp932) {
            for (int i = 0; i < fields.size(); ++i) {
                if (const std::optional<QString> c = notInCp932(fields[i]))
                    result.problems << lineProblem(
                        result.rows + 1, QStringLiteral("ID %1 の「%2」は cp932 で書けません (列「%3」)。")
                                             .arg(id)
                                             .arg(*c, columns[i].header));
            }
        }
        text += row(fields);
    }
    if (options.encoding == Encoding::Cp932) {
        if (result.problems.isEmpty())
            result.bytes = toCp932(text);
    } else {
        result.bytes = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    }
    return result;
}

bool writeFile(const QString &path, const QByteArray &bytes, bool replace, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("「%1」に書けません: %2").arg(path, why);
        return false;
    };
    if (replace) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return fail(file.errorString());
        return true;
    }
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("同じ名前のファイルがすでにあります。"));
    QTemporaryFile temp(QFileInfo(path).absolutePath() + QStringLiteral("/.csv-XXXXXX"));
    if (!temp.open() || temp.write(bytes) != bytes.size() || !temp.flush())
        return fail(temp.errorString());
    // Readable as any file the user saves, not only by its owner as a temporary file is.
    temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (!RenameNoReplace(temp.fileName(), path))
        return fail(QStringLiteral("同じ名前のファイルがすでにあるか、名前を付けられません。"));
    temp.setAutoRemove(false);
    return true;
}

std::optional<QString> decode(const QByteArray &bytes, std::optional<Encoding> encoding)
{
    if (encoding == Encoding::Cp932)
        return fromCp932(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (encoding == Encoding::Utf8 || bytes.startsWith("\xEF\xBB\xBF"))
        return std::nullopt;
    return fromCp932(bytes);
}

Imported importRows(Archive &archive, const QString &text, const ImportOptions &options)
{
    Imported result;
    const bool records = options.rows == Rows::Records;
    QString error;
    const std::optional<QList<QStringList>> table =
        parse(text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text, &error);
    if (!table || table->isEmpty()) {
        result.problems << (table ? QStringLiteral("見出しの行がありません。") : error);
        result.refused = true;
        return result;
    }

    // The header names the columns by the layout's labels, in any order; a column may be absent.
    const Layout &layout = layoutOf(archive, options.rows);
    const QList<Column> columns = columnsOf(layout, options.rows);
    const QStringList &header = table->first();
    QList<int> columnOf; // per field of a row, its column; -1 for none
    QList<bool> used(columns.size(), false);
    for (const QString &field : header) {
        const QString name = field.trimmed();
        int found = -1;
        bool known = false;
        for (int c = 0; c < columns.size(); ++c) {
            if (columns[c].header != name)
                continue;
            known = true;
            if (!used[c]) {
                found = c;
                break;
            }
        }
        if (found < 0)
            result.problems << lineProblem(
                1, known ? QStringLiteral("列「%1」が二度あります。").arg(name)
                         : QStringLiteral("列「%1」はレイアウトにありません。").arg(name));
        else
            used[found] = true;
        columnOf << found;
    }
    if (!records && !used[0])
        result.problems << lineProblem(1, QStringLiteral("列「ID」がありません。"));
    if (!result.problems.isEmpty()) {
        result.refused = true;
        return result;
    }
    if (records && used.last())
        result.notes << QStringLiteral("列「ページ」は読み込みません (ページはカードで加えます)。");

    // Every row is read and checked before anything is written.
    QList<Pending> rows;
    for (int r = 1; r < table->size(); ++r) {
        const QStringList &fields = table->at(r);
        if (std::all_of(fields.begin(), fields.end(), [](const QString &f) { return f.trimmed().isEmpty(); }))
            continue; // spreadsheets leave empty rows at the end
        Pending p;
        p.line = r + 1;
        if (fields.size() != header.size()) {
            p.problems << QStringLiteral("列の数 %1 が見出しの %2 と違います。")
                              .arg(fields.size())
                              .arg(header.size());
            p.keyRead = false;
            rows << p;
            continue;
        }
        for (int f = 0; f < fields.size(); ++f) {
            const Column &column = columns[columnOf[f]];
            const QString trimmed = fields[f].trimmed();
            switch (column.role) {
            case Role::Id:
                if (trimmed.isEmpty())
                    break;
                if (const auto id = readWhole(trimmed, std::numeric_limits<std::int32_t>::max()))
                    p.id = static_cast<std::int32_t>(*id);
                else
                    p.problems << QStringLiteral("ID「%1」は 1 以上の整数ではありません。").arg(trimmed);
                p.keyRead = p.keyRead && p.id;
                break;
            case Role::Entry:
                if (trimmed.isEmpty())
                    break;
                if (const auto entry = readWhole(trimmed, std::numeric_limits<std::int16_t>::max()))
                    p.entry = static_cast<std::int16_t>(*entry);
                else
                    p.problems << QStringLiteral("履歴番号「%1」は 1 から 32767 の整数ではありません。")
                                      .arg(trimmed);
                p.keyRead = p.keyRead && p.entry;
                break;
            case Role::Name:
                p.values.insert(QStringLiteral("Namae"),
                                trimmed.isEmpty() ? Variant(QStringLiteral(" ")) : Variant(fields[f]));
                break;
            case Role::Item: {
                const LayoutItem &item = layout[column.item];
                if (item.column().isEmpty())
                    break;
                // The record card stores an empty trimmed as one blank, the history card as "".
                if (const std::optional<Variant> value = itemValue(item, fields[f], records))
                    p.values.insert(item.column(), *value);
                else
                    p.problems << QStringLiteral("%1「%2」を読めません (列「%3」)。")
                                      .arg(item.kind == Kind::Number ? QStringLiteral("数値")
                                                                     : QStringLiteral("日付"),
                                           trimmed, column.header);
                break;
            }
            case Role::Pages:
                break;
            }
        }
        rows << p;
    }

    // Keys: taken twice in the file, or already in the folder.
    // A row with bad values still holds its key: a second row with that key is as doubtful.
    QHash<std::pair<std::int32_t, std::int16_t>, int> keys; // the line that holds each
    for (Pending &p : rows) {
        if (!p.keyRead)
            continue;
        if (!records && !p.id) {
            p.problems << QStringLiteral("ID がありません。");
            continue;
        }
        if (!records && !archive.records.record(*p.id)) {
            p.problems << QStringLiteral("ID %1 のレコードがありません。").arg(*p.id);
            continue;
        }
        if (!p.id || (!records && !p.entry))
            continue;
        const std::pair key{*p.id, records ? std::int16_t{0} : *p.entry};
        const QString name = records ? QStringLiteral("ID %1").arg(key.first)
                                     : QStringLiteral("ID %1 の履歴番号 %2").arg(key.first).arg(key.second);
        if (keys.contains(key))
            p.problems << QStringLiteral("%1 は %2 行目にもあります。").arg(name).arg(keys.value(key));
        else if (!options.update && (records ? archive.records.idInUse(key.first)
                                             : archive.histories.entry(key.first, key.second).has_value()))
            p.problems << QStringLiteral("%1 はすでにあります。").arg(name);
        keys.insert(key, p.line);
    }

    int bad = 0;
    for (const Pending &p : rows) {
        for (const QString &problem : p.problems)
            result.problems << lineProblem(p.line, problem);
        bad += p.problems.isEmpty() ? 0 : 1;
    }
    if (bad > 0 && !options.skipBad) {
        result.refused = true;
        return result;
    }

    // Blank keys take the next free ones, passing over those the file gives.
    Transaction transaction(archive.db);
    std::int32_t nextId = archive.records.newRecordId();
    QHash<std::int32_t, std::int16_t> nextEntry;
    for (Pending &p : rows) {
        if (!p.problems.isEmpty())
            continue;
        if (records && !p.id) {
            nextId = archive.records.freeRecordId(nextId, archive.scanFolder);
            while (keys.contains({nextId, std::int16_t{0}}))
                nextId = archive.records.freeRecordId(nextId + 1, archive.scanFolder);
            p.id = nextId++;
        }
        if (!records && !p.entry) {
            std::int16_t &next = nextEntry[*p.id];
            if (next == 0)
                next = archive.histories.newEntryNumber(*p.id);
            while (keys.contains({*p.id, next}))
                ++next;
            p.entry = next++;
        }
        if (records)
            archive.records.saveRecord(*p.id, p.values);
        else
            archive.histories.saveEntry(*p.id, *p.entry, p.values);
        ++result.written;
    }
    transaction.commit();
    result.skipped = bad;
    return result;
}

Imported importFile(Archive &archive, const QString &path, std::optional<Encoding> encoding,
                    const ImportOptions &options)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Imported result;
        result.problems << QStringLiteral("「%1」を読めません: %2").arg(path, file.errorString());
        result.refused = true;
        return result;
    }
    const std::optional<QString> text = decode(file.readAll(), encoding);
    if (!text) {
        Imported result;
        result.problems << QStringLiteral("「%1」の文字を読めません (%2)。")
                               .arg(path, encoding == Encoding::Cp932 ? QStringLiteral("cp932 ではありません")
                                          : encoding == Encoding::Utf8
                                              ? QStringLiteral("UTF-8 ではありません")
                                              : QStringLiteral("UTF-8 でも cp932 でもありません"));
        result.refused = true;
        return result;
    }
    return importRows(archive, *text, options);
}

} // namespace zumen::Csv
