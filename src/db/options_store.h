#pragma once

#include <QList>
#include <QString>

#include <utility>

#include <optional>

namespace zumen {

class Database;

// Codes of the rows of table UserOP: the two page folders, the scanner settings and the
// viewer's zoom (20 leaves room for more scanner settings).
namespace OptionCode {
constexpr int ScanFolder = 11;
constexpr int FileFolder = 12;
// The scanner settings the last accepted settings window chose.
constexpr int ScanDevice = 13;
constexpr int ScanMode = 14; // 白黒, グレー or カラー
constexpr int ScanResolution = 15;
constexpr int ScanSource = 16;
constexpr int ScanPaperSize = 17; // 自動, 最大 or a sheet, "A4 縦"
constexpr int ScanDeskew = 18;    // 1 or 0
constexpr int ScanSkipBlank = 19; // 1 or 0
constexpr int ViewerZoom = 20;
} // namespace OptionCode

// The folder's options, kept in table UserOP one row a code, text in Contents.
class OptionsStore {
public:
    explicit OptionsStore(Database &db) : m_db(db) {}

    // The row's text as stored (Null reads empty); none when there is no row.
    std::optional<QString> find(int code);
    // The row's text trimmed; empty when there is no row.
    QString read(int code);
    // Writes the row, adding it when missing; an empty text is stored as one blank.
    void write(int code, const QString &text);
    // Writes the rows in one transaction: all of them or none.
    void write(const QList<std::pair<int, QString>> &rows);

    // A page folder option (ScanFolder, FileFolder) as an absolute folder, blank when not set;
    // none when there is no row.
    std::optional<QString> folder(int code);
    // Both page folders, trimmed, in one transaction; one inside the working folder is stored
    // relative to it, so that a copied working folder uses its own pages.
    void writeFolders(const QString &scanFolder, const QString &fileFolder);

    // The viewer's zoom (a percent, or the list's number for the whole page); none when there
    // is no row or it holds no number.
    std::optional<int> viewerZoom();
    void writeViewerZoom(int zoom);

    // The folder QV.MDB lies in.
    QString workingFolder() const;

private:
    Database &m_db;
};

} // namespace zumen
