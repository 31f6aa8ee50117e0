#include "db/archive.h"
#include "exchange/csv.h"
#include "support/page_files.h"
#include "support/query.h"
#include "support/zumen_db_tool.h"
#include "tools/working_folder.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace zumen;

namespace {

// A working folder as zumen-db init makes it (図番, 品名, 作成日, 数量, 備考; history 日付, 内容,
// 担当, 備考), open as the desk opens it.
struct Folder {
    Folder()
    {
        WorkingFolder::init(dir.path());
        archive = std::make_unique<Archive>(Database::open(dir.filePath(QStringLiteral("QV.MDB"))));
        archive->layouts.load(archive->mainLayout, archive->historyLayout);
    }
    std::int64_t count(const QString &table)
    {
        return queryNumber(archive->db, "SELECT count(*) FROM " + table);
    }
    QTemporaryDir dir;
    std::unique_ptr<Archive> archive;
};

TEST(Csv, RoundTripKeepsTextsNumbersAndEmptyDatesInBothEncodingsAndBothDateForms)
{
    Folder from;
    from.archive->records.saveRecord(3, {{"Namae", "軸受ハウジング, 改"},
                                         {"Str1", "A2-\"2001\""},
                                         {"Str2", " "},
                                         {"Date1", QDate(2024, 3, 5)},
                                         {"Val1", 1234.5},
                                         {"Text1", "FC250\r\n内径 H7\n「注」"}});
    from.archive->records.saveRecord(7, {{"Namae", "スペーサ"}, {"Val1", -2.0}}); // no date, no memo
    from.archive->histories.saveEntry(3, 2, {{"Date1", QDate(2024, 4, 1)}, {"Str1", "改訂, 板厚"}});

    for (const auto encoding : {Csv::Encoding::Utf8, Csv::Encoding::Cp932}) {
        for (const auto dates : {Csv::Dates::Iso, Csv::Dates::Shown}) {
            const Csv::ExportOptions records{Csv::Rows::Records, encoding, dates};
            const Csv::ExportOptions history{Csv::Rows::History, encoding, dates};
            const Csv::Exported first = Csv::exportRows(*from.archive, records);
            const Csv::Exported firstHistory = Csv::exportRows(*from.archive, history);
            ASSERT_EQ(first.rows, 2);
            const QString text = *Csv::decode(first.bytes, std::nullopt);
            EXPECT_EQ(first.bytes.startsWith("\xEF\xBB\xBF"), encoding == Csv::Encoding::Utf8);
            EXPECT_TRUE(text.contains(QStringLiteral("\"ID\",名前,図番,品名,作成日,数量,備考,ページ\r\n")));
            EXPECT_TRUE(text.contains(dates == Csv::Dates::Iso ? QStringLiteral(",2024-03-05,1234.5,")
                                                               : QStringLiteral(",2024/03/05,1234.5,")));
            EXPECT_TRUE(text.contains(QStringLiteral("3,\"軸受ハウジング, 改\",\"A2-\"\"2001\"\"\",,")));
            EXPECT_TRUE(text.contains(QStringLiteral("7,スペーサ,,,,-2,,\r\n")));
            EXPECT_TRUE(text.contains(QStringLiteral(",\"FC250\r\n内径 H7\n「注」\",")));

            Folder to;
            for (const auto &[options, bytes] :
                 {std::pair{records, first.bytes}, {history, firstHistory.bytes}}) {
                const Csv::Imported in =
                    Csv::importRows(*to.archive, *Csv::decode(bytes, std::nullopt), {options.rows});
                EXPECT_TRUE(in.problems.isEmpty()) << in.problems.join(u'\n').toStdString();
                EXPECT_EQ(Csv::exportRows(*to.archive, options).bytes, bytes);
            }
        }
    }

    // A character cp932 cannot hold refuses the export and says where, rather than writing "?".
    from.archive->records.saveRecord(7, {{"Str2", "ボルト🔩"}});
    const Csv::Exported refused =
        Csv::exportRows(*from.archive, {Csv::Rows::Records, Csv::Encoding::Cp932, Csv::Dates::Iso});
    EXPECT_TRUE(refused.bytes.isEmpty());
    EXPECT_EQ(refused.problems,
              QStringList{QStringLiteral("3 行目: ID 7 の「🔩」は cp932 で書けません (列「品名」)。")});
}

TEST(Csv, ImportChecksEveryRowFirstAndWritesNothingWhenOneIsBad)
{
    Folder folder;
    folder.archive->records.saveRecord(5, {{"Namae", "既存"}});
    const QString csv = QStringLiteral("ID,名前,作成日,数量\r\n"
                                       ",新規,2024/3/5,\"1,200\"\r\n"
                                       "9,日付違い,2024-13-01,1\r\n"
                                       "5,既存の ID,,\r\n"
                                       "12,数違い,,12個\r\n"
                                       "12,二度目,,\r\n"
                                       ",,,\r\n");
    const Csv::Imported refused = Csv::importRows(*folder.archive, csv, {});
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(refused.problems,
              QStringList({QStringLiteral("3 行目: 日付「2024-13-01」を読めません (列「作成日」)。"),
                           QStringLiteral("4 行目: ID 5 はすでにあります。"),
                           QStringLiteral("5 行目: 数値「12個」を読めません (列「数量」)。"),
                           QStringLiteral("6 行目: ID 12 は 5 行目にもあります。")}));
    EXPECT_EQ(folder.count("DT"), 1);

    // Skipping the bad rows writes the good ones (an ID given twice is neither's); a blank ID
    // takes the next free one, and with --update an existing record takes the file's values.
    const Csv::Imported skipped = Csv::importRows(*folder.archive, csv, {Csv::Rows::Records, true, true});
    EXPECT_FALSE(skipped.refused);
    EXPECT_EQ(skipped.written, 2);
    EXPECT_EQ(skipped.skipped, 3);
    EXPECT_EQ(folder.archive->records.record(6)->value("Val1"), Variant(1200.0));
    EXPECT_EQ(folder.archive->records.record(6)->value("Date1"), Variant(QDate(2024, 3, 5)));
    EXPECT_EQ(folder.archive->records.record(5)->value("Namae"), Variant("既存の ID"));

    // The header must name the layout's columns; history entries need their record.
    const Csv::Imported unknown =
        Csv::importRows(*folder.archive, QStringLiteral("ID,名前,図番号\r\n1,a,b\r\n"), {});
    EXPECT_EQ(unknown.problems,
              QStringList{QStringLiteral("1 行目: 列「図番号」はレイアウトにありません。")});
    const Csv::Imported orphan = Csv::importRows(
        *folder.archive, QStringLiteral("ID,日付\r\n99,2024-01-01\r\n"), {Csv::Rows::History});
    EXPECT_EQ(orphan.problems, QStringList{QStringLiteral("2 行目: ID 99 のレコードがありません。")});
    EXPECT_TRUE(Csv::importRows(*folder.archive, QStringLiteral("ID,名前\r\n1,\"open\r\n"), {}).refused);
    EXPECT_EQ(folder.count("DT"), 2);
    EXPECT_EQ(folder.count("Hstry"), 0);
}

TEST(Csv, ZumenDbExportsAndImportsWithClearExitCodes)
{
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo")), copy = dir.filePath(QStringLiteral("copy"));
    const QString out = dir.filePath(QStringLiteral("out.csv")),
                  again = dir.filePath(QStringLiteral("again.csv"));
    WorkingFolder::demo(demo);
    const ToolRun exported = zumenDb({QStringLiteral("export"), out, demo});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    EXPECT_TRUE(exported.out.contains(QStringLiteral("件を書き出しました。")));
    const QByteArray first = fileBytes(out);
    // Page files as a user can open them: the demo's scans lie in its scan folder.
    EXPECT_TRUE(first.contains(QDir(demo).filePath(QStringLiteral("scan/SC000001.TIF")).toUtf8()));
    EXPECT_EQ(zumenDb({QStringLiteral("export"), out, demo}).exitCode, 1); // no --force: kept
    EXPECT_EQ(fileBytes(out), first);
    EXPECT_EQ(zumenDb({QStringLiteral("export"), out, demo, QStringLiteral("--update")}).exitCode, 2);
    EXPECT_EQ(zumenDb({QStringLiteral("import"), out, demo, QStringLiteral("--dates"), QStringLiteral("iso")})
                  .exitCode,
              2);

    // Into the demo itself every ID exists: refused, nothing written.
    const ToolRun clash = zumenDb({QStringLiteral("import"), out, demo});
    EXPECT_EQ(clash.exitCode, 1);
    EXPECT_TRUE(clash.err.contains(QStringLiteral("2 行目: ID ")) &&
                clash.err.contains(QStringLiteral("はすでにあります。")));
    // Into a folder without QV.MDB: made first, then filled; the pages stay with the card.
    const ToolRun imported = zumenDb({QStringLiteral("import"), out, copy});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_TRUE(imported.out.contains(QStringLiteral("列「ページ」は読み込みません")));
    ASSERT_EQ(zumenDb({QStringLiteral("export"), again, copy}).exitCode, 0);
    const QStringList before = QString::fromUtf8(first).split(QStringLiteral("\r\n"));
    const QStringList after = QString::fromUtf8(fileBytes(again)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(before.size(), after.size());
    EXPECT_EQ(before.first(), after.first());
}

} // namespace
