#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zumen {

struct Archive;

// Records or history entries as CSV for spreadsheets, and back. Fields are quoted when they hold
// a comma, a quote, a line break or blanks at an end; rows end in CRLF. The columns are ID (and
// 履歴番号 for history entries), 名前, one column per layout item headed by its label, and for
// records ページ: the page files in page order, one a line within the field. Numbers are the
// stored values in plain decimal, so a spreadsheet gets numbers; empty values are empty fields.
namespace Csv {

enum class Rows { Records, History };
enum class Encoding { Utf8, Cp932 };
enum class Dates { Iso, Shown }; // 2024-03-05, or as the cards show them: 2024/03/05

// Splits CSV text into rows of fields. Takes CRLF or LF line ends; none with a message when
// a quoted field never ends.
std::optional<QList<QStringList>> parse(const QString &text, QString *error);
// One row with its CRLF.
QString row(const QStringList &fields);

struct ExportOptions {
    Rows rows = Rows::Records;
    Encoding encoding = Encoding::Utf8;
    Dates dates = Dates::Iso;
};
struct Exported {
    QByteArray bytes; // UTF-8 starts with its BOM so that spreadsheets know it
    int rows = 0;
    // Characters cp932 cannot hold, one line each: the export is refused rather than written
    // with "?" in their place.
    QStringList problems;
};
// Every record (or entry) in ID order under the archive's layouts and page folders.
Exported exportRows(Archive &archive, const ExportOptions &options);

// Writes the file whole or not at all: a temporary file beside it takes the name at the end.
// Without replace an existing file is kept and the write refused. False with a message.
bool writeFile(const QString &path, const QByteArray &bytes, bool replace, QString *error);

// The text of CSV bytes: the given encoding, else UTF-8 after a BOM or when the bytes are valid
// UTF-8, else cp932. None when the bytes are not in the encoding.
std::optional<QString> decode(const QByteArray &bytes, std::optional<Encoding> encoding);

struct ImportOptions {
    Rows rows = Rows::Records;
    bool update = false;  // rows whose ID (and entry number) exist replace their values
    bool skipBad = false; // write the good rows and leave out the bad ones
};
struct Imported {
    int written = 0;
    int skipped = 0;
    // "3 行目: …" one problem a line; the header's problems always refuse the file.
    QStringList problems;
    QStringList notes;    // what was read but not used
    bool refused = false; // nothing was written because of the problems
};
// Checks every row first, then writes all good rows in one transaction; with any bad row and
// no skipBad nothing is written. A blank ID takes the next free identifier (a blank entry
// number the record's next). The page column is read but not used: pages come in through the
// card, which puts their files into the page folders. Throws the engine's errors.
Imported importRows(Archive &archive, const QString &text, const ImportOptions &options);
// Reads and decodes the file, then imports it; an unreadable file is one problem.
Imported importFile(Archive &archive, const QString &path, std::optional<Encoding> encoding,
                    const ImportOptions &options);

} // namespace Csv
} // namespace zumen
