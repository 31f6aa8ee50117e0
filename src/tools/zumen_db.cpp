// zumen-db: prepares and checks working folders from the command line.
#include "db/archive.h"
#include "db/db_error.h"
#include "db/folders.h"
#include "exchange/backup.h"
#include "exchange/csv.h"
#include "exchange/record_pdf.h"
#include "text/request_file.h"
#include "text/utility.h"
#include "tools/generate.h"
#include "tools/shared_archive.h"
#include "tools/working_folder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>

namespace {

void print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}

const char *const Commands =
    "コマンド:\n"
    "  init [フォルダ]             空のデータベース QV.MDB と作業フォルダを作ります\n"
    "  demo フォルダ               見本の図面とデータ入りの作業フォルダを作ります\n"
    "  check [フォルダ]            QV.MDB (QV.SERVER があればそのサーバー) に必要な表と列が\n"
    "                              そろっているか調べます\n"
    "  generate フォルダ --records 件数 [--seed 種]\n"
    "                              計測用の大きな作業フォルダを作ります\n"
    "  request ZUBAN|HINNAMAE 値 [フォルダ]\n"
    "                              図番か品名の表示を依頼するファイルを置きます\n"
    "  export 出力.csv [フォルダ] [--history] [--encoding utf8|cp932] [--dates iso|shown] [--force]\n"
    "                              レコード (--history なら履歴) を CSV に書き出します\n"
    "  import 入力.csv [フォルダ] [--history] [--encoding utf8|cp932] [--update] [--skip-bad]\n"
    "                              CSV のレコード (--history なら履歴) を読み込みます。QV.MDB の\n"
    "                              ないフォルダには init と同じく作ってから読み込みます\n"
    "  export-pdf ID 出力.pdf [フォルダ] [--force] [--skip-missing]\n"
    "                              レコードの全ページを実寸で一つの PDF に書き出します\n"
    "  backup 保存先 [フォルダ]    使用中でも一貫したコピーを、ページファイルとマニフェストと共に\n"
    "                              新しいか空の保存先に作ります (見つからないページがあれば終了状態 1)\n"
    "  restore バックアップ [フォルダ]\n"
    "                              バックアップを確かめ、QV.MDB のないフォルダに戻します\n"
    "  init-server 接続文字列      PostgreSQL サーバーの空のデータベースに共有アーカイブを作ります\n"
    "  roles 接続文字列            共有アーカイブに読むだけの役割 zumen_read と登録と変更ができる\n"
    "                              役割 zumen_file を作り、各自のログインの作り方を示します\n"
    "  migrate フォルダ 接続文字列 [--copy-pages 共有フォルダ]\n"
    "                              作業フォルダの QV.MDB をサーバーの空のデータベースへ写します\n"
    "                              (--copy-pages ならページファイルも写します)";

// A command line that cannot be read: what was wrong, then how to write it, exit status 2.
int usage(const QCommandLineParser &parser, const QString &problem = {})
{
    if (!problem.isEmpty())
        print(stderr, problem);
    print(stderr, parser.helpText() + QString::fromUtf8(Commands));
    return 2;
}

QString notWorkingFolder(const QString &folder)
{
    return QStringLiteral("'%1' は作業フォルダではありません (QV.MDB も QV.SERVER もありません)。")
        .arg(QDir(folder).absolutePath());
}

QString count(int n)
{
    return zumen::FormatNumber(zumen::Variant(n), QStringLiteral("#,##0"));
}

// export and import: the folder's records through its own layouts and page folders.
int exchange(const QString &command, const QString &file, const QString &folder,
             const zumen::Csv::ExportOptions &out, std::optional<zumen::Csv::Encoding> encoding,
             const zumen::Csv::ImportOptions &in, bool force)
{
    using namespace zumen;
    if (!WorkingFolder::holdsArchive(folder)) {
        if (command == QLatin1String("export")) {
            print(stderr, notWorkingFolder(folder));
            return 1;
        }
        WorkingFolder::init(folder);
        print(stdout, QStringLiteral("'%1' に QV.MDB を作りました。").arg(QDir(folder).absolutePath()));
    }
    Archive archive(WorkingFolder::openArchive(folder));
    archive.layouts.load(archive.mainLayout, archive.historyLayout);
    archive.scanFolder = archive.options.folder(OptionCode::ScanFolder).value_or(QString());
    archive.fileFolder = archive.options.folder(OptionCode::FileFolder).value_or(QString());

    if (command == QLatin1String("export")) {
        const Csv::Exported exported = Csv::exportRows(archive, out);
        for (const QString &problem : exported.problems)
            print(stderr, problem);
        QString error;
        if (!exported.problems.isEmpty()) {
            print(
                stderr,
                QStringLiteral(
                    "cp932 で書けない文字があるため、書き出しませんでした (--encoding utf8 なら書けます)。"));
            return 1;
        }
        if (!Csv::writeFile(file, exported.bytes, force, &error)) {
            print(stderr, error + (force ? QString() : QStringLiteral(" (置き換えるには --force)")));
            return 1;
        }
        print(stdout, QStringLiteral("%1 件を書き出しました。").arg(count(exported.rows)));
        return 0;
    }
    const Csv::Imported imported = Csv::importFile(archive, file, encoding, in);
    for (const QString &note : imported.notes)
        print(stdout, note);
    for (const QString &problem : imported.problems)
        print(stderr, problem);
    if (imported.refused) {
        print(stderr,
              QStringLiteral(
                  "読めない行があるため、何も書き込みませんでした (--skip-bad なら読める行だけ書きます)。"));
        return 1;
    }
    print(stdout,
          QStringLiteral("%1 件を読み込みました。").arg(count(imported.written)) +
              (imported.skipped ? QStringLiteral(" %1 行を飛ばしました。").arg(count(imported.skipped))
                                : QString()));
    return 0;
}

// export-pdf: one record's pages through the folder's own page folders.
int exportPdf(std::int32_t id, const QString &file, const QString &folder,
              const zumen::RecordPdf::Options &options)
{
    using namespace zumen;
    if (!WorkingFolder::holdsArchive(folder)) {
        print(stderr, notWorkingFolder(folder));
        return 1;
    }
    Archive archive(WorkingFolder::openArchive(folder));
    archive.scanFolder = archive.options.folder(OptionCode::ScanFolder).value_or(QString());
    archive.fileFolder = archive.options.folder(OptionCode::FileFolder).value_or(QString());
    try {
        const RecordPdf::Result written = RecordPdf::write(archive, id, file, options);
        for (const QString &skipped : written.skipped)
            print(stderr, QStringLiteral("見つからないページを飛ばしました: ") + skipped);
        print(stdout, QStringLiteral("%1 ページを書き出しました。").arg(written.pages));
    } catch (const std::runtime_error &e) {
        const bool exists = !options.replace && QFileInfo::exists(file);
        print(stderr, QString::fromStdString(e.what()) +
                          (exists ? QStringLiteral(" (置き換えるには --force)") : QString()));
        return 1;
    }
    return 0;
}

// What each workstation's QV.SERVER is to hold, after an archive was made on the server.
void printServerLine(const QString &conninfo, zumen::Database &server)
{
    const zumen::SharedArchive::ServerLine line = zumen::SharedArchive::serverLine(conninfo, server);
    print(stdout, QStringLiteral("各端末の作業フォルダに %1 というファイルを置き、次の一行を書いてください "
                                 "(パスワードは各自の ~/.pgpass に):")
                      .arg(zumen::WorkingFolder::ServerFile));
    print(stdout, QStringLiteral("  ") + line.text);
    if (!line.note.isEmpty())
        print(stderr, QStringLiteral("注意: ") + line.note);
}

} // namespace

int main(int argc, char *argv[])
{
    // Images with Japanese text are drawn without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The tool speaks for itself; Qt's notes about the session (no runtime folder and the
    // like) would only confuse a user reading its output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            print(stderr, msg);
    });
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("zumen-db"));
    QGuiApplication::setApplicationVersion(QStringLiteral(ZUMEN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("作業フォルダを作り、調べ、写し、表示の依頼を置きます。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption recordsOption(QStringLiteral("records"), QStringLiteral("generate の件数"),
                                           QStringLiteral("件数"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("generate の乱数の種"),
                                        QStringLiteral("種"), QStringLiteral("1"));
    const QCommandLineOption historyOption(QStringLiteral("history"),
                                           QStringLiteral("export/import で履歴を扱います"));
    const QCommandLineOption encodingOption(
        QStringLiteral("encoding"), QStringLiteral("export/import の文字コード: utf8 (BOM 付き) か cp932"),
        QStringLiteral("文字コード"));
    const QCommandLineOption datesOption(
        QStringLiteral("dates"), QStringLiteral("export の日付: iso (2024-03-05) か shown (2024/03/05)"),
        QStringLiteral("形"), QStringLiteral("iso"));
    const QCommandLineOption forceOption(
        QStringLiteral("force"), QStringLiteral("export と export-pdf で今あるファイルを置き換えます"));
    const QCommandLineOption skipMissingOption(QStringLiteral("skip-missing"),
                                               QStringLiteral("export-pdf で見つからないページを飛ばします"));
    const QCommandLineOption updateOption(QStringLiteral("update"),
                                          QStringLiteral("import ですでにある ID の値を置き換えます"));
    const QCommandLineOption skipBadOption(QStringLiteral("skip-bad"),
                                           QStringLiteral("import で読めない行を飛ばし、ほかを書きます"));
    const QCommandLineOption copyPagesOption(
        QStringLiteral("copy-pages"), QStringLiteral("migrate でページファイルを共有フォルダへ写します"),
        QStringLiteral("共有フォルダ"));
    parser.addOptions({recordsOption, seedOption, historyOption, encodingOption, datesOption, forceOption,
                       updateOption, skipBadOption, skipMissingOption, copyPagesOption});
    parser.addPositionalArgument(QStringLiteral("コマンド"), QStringLiteral("下のどれか"),
                                 QStringLiteral("コマンド [引数...]"));
    if (!parser.parse(app.arguments()))
        return usage(parser, parser.errorText());
    if (parser.isSet(help)) {
        print(stdout, parser.helpText() + QString::fromUtf8(Commands));
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("zumen-db ") + QStringLiteral(ZUMEN_VERSION));
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage(parser);
    const QString command = args[0];
    const QString folder = args.size() > 1 ? args[1] : QDir::currentPath();
    if ((parser.isSet(recordsOption) || parser.isSet(seedOption)) && command != QLatin1String("generate"))
        return usage(parser, QStringLiteral("--records と --seed は generate だけのものです。"));
    const bool exporting = command == QLatin1String("export"), importing = command == QLatin1String("import");
    if ((parser.isSet(historyOption) || parser.isSet(encodingOption)) && !exporting && !importing)
        return usage(parser, QStringLiteral("--history と --encoding は export と import だけのものです。"));
    const bool exportingPdf = command == QLatin1String("export-pdf");
    if (parser.isSet(datesOption) && !exporting)
        return usage(parser, QStringLiteral("--dates は export だけのものです。"));
    if (parser.isSet(forceOption) && !exporting && !exportingPdf)
        return usage(parser, QStringLiteral("--force は export と export-pdf だけのものです。"));
    if (parser.isSet(skipMissingOption) && !exportingPdf)
        return usage(parser, QStringLiteral("--skip-missing は export-pdf だけのものです。"));
    if ((parser.isSet(updateOption) || parser.isSet(skipBadOption)) && !importing)
        return usage(parser, QStringLiteral("--update と --skip-bad は import だけのものです。"));
    if (parser.isSet(copyPagesOption) && command != QLatin1String("migrate"))
        return usage(parser, QStringLiteral("--copy-pages は migrate だけのものです。"));
    zumen::Csv::ExportOptions out;
    zumen::Csv::ImportOptions in;
    out.rows = in.rows = parser.isSet(historyOption) ? zumen::Csv::Rows::History : zumen::Csv::Rows::Records;
    std::optional<zumen::Csv::Encoding> encoding;
    const QString encodingName = parser.value(encodingOption);
    if (encodingName == QLatin1String("utf8"))
        encoding = zumen::Csv::Encoding::Utf8;
    else if (encodingName == QLatin1String("cp932"))
        encoding = zumen::Csv::Encoding::Cp932;
    else if (parser.isSet(encodingOption))
        return usage(parser, QStringLiteral("--encoding には utf8 か cp932 を書きます。"));
    out.encoding = encoding.value_or(zumen::Csv::Encoding::Utf8);
    const QString dates = parser.value(datesOption);
    if (dates != QLatin1String("iso") && dates != QLatin1String("shown"))
        return usage(parser, QStringLiteral("--dates には iso か shown を書きます。"));
    out.dates = dates == QLatin1String("iso") ? zumen::Csv::Dates::Iso : zumen::Csv::Dates::Shown;
    in.update = parser.isSet(updateOption);
    in.skipBad = parser.isSet(skipBadOption);
    if (command == QLatin1String("request") && (args.size() == 3 || args.size() == 4)) {
        const QString into = args.size() == 4 ? args[3] : QDir::currentPath();
        // A request left where no working folder is would wait for a program that never comes.
        if (!zumen::WorkingFolder::holdsArchive(into)) {
            print(stderr, notWorkingFolder(into));
            return 1;
        }
        QString error;
        if (!zumen::writeRequest(into, args[1], args[2], &error)) {
            print(stderr, error);
            return 1;
        }
        return 0;
    }
    try {
        if ((exporting || importing) && (args.size() == 2 || args.size() == 3)) {
            return exchange(command, args[1], args.size() == 3 ? args[2] : QDir::currentPath(), out, encoding,
                            in, parser.isSet(forceOption));
        } else if (exportingPdf && (args.size() == 3 || args.size() == 4)) {
            bool ok = false;
            const int id = args[1].toInt(&ok);
            if (!ok || id < 1)
                return usage(parser, QStringLiteral("ID には 1 以上の数を書きます: ") + args[1]);
            zumen::RecordPdf::Options options;
            options.replace = parser.isSet(forceOption);
            options.skipMissing = parser.isSet(skipMissingOption);
            return exportPdf(id, args[2], args.size() == 4 ? args[3] : QDir::currentPath(), options);
        } else if (command == QLatin1String("generate") && args.size() == 2) {
            bool ok = false;
            const int records = parser.value(recordsOption).toInt(&ok);
            bool seedOk = false;
            const quint32 seed = parser.value(seedOption).toUInt(&seedOk);
            if (!ok || !seedOk || records < 0)
                return usage(parser,
                             QStringLiteral("--records には 0 以上の件数を、--seed には数を書きます。"));
            zumen::WorkingFolder::generate(folder, records, seed);
            print(stdout, QStringLiteral("'%1' に %2 件のレコードを入れた作業フォルダを作りました。")
                              .arg(QDir(folder).absolutePath())
                              .arg(records));
        } else if (command == QLatin1String("init") && args.size() <= 2) {
            zumen::WorkingFolder::init(folder);
            print(stdout, QStringLiteral("'%1' に QV.MDB を作りました。").arg(QDir(folder).absolutePath()));
        } else if (command == QLatin1String("demo") && args.size() == 2) {
            zumen::WorkingFolder::demo(folder);
            print(stdout,
                  QStringLiteral("'%1' に見本の作業フォルダを作りました。").arg(QDir(folder).absolutePath()));
        } else if (command == QLatin1String("backup") && (args.size() == 2 || args.size() == 3)) {
            const QString from = args.size() == 3 ? args[2] : QDir::currentPath();
            const zumen::Backup::Result done = zumen::Backup::create(from, args[1]);
            print(stdout, QStringLiteral("'%1' にバックアップを作りました: ファイル %2 個 (%3 バイト)。")
                              .arg(done.folder)
                              .arg(done.files)
                              .arg(done.bytes));
            // The copy is complete but lacks pages: a script must notice.
            if (!done.missing.isEmpty()) {
                print(stderr, QStringLiteral("見つからないページファイルが %1 個あります "
                                             "(一覧は %2 の missing の行):")
                                  .arg(done.missing.size())
                                  .arg(zumen::Backup::ManifestFile));
                for (const QString &m : done.missing)
                    print(stderr, QStringLiteral("  ") + m);
                return 1;
            }
        } else if (command == QLatin1String("restore") && (args.size() == 2 || args.size() == 3)) {
            const QString into = args.size() == 3 ? args[2] : QDir::currentPath();
            const int files = zumen::Backup::restore(args[1], into);
            print(stdout, QStringLiteral("'%1' にバックアップを戻しました: ファイル %2 個。")
                              .arg(QDir(into).absolutePath())
                              .arg(files));
        } else if (command == QLatin1String("check") && args.size() <= 2) {
            int fileVersion = 0;
            const QStringList missing = zumen::WorkingFolder::check(folder, &fileVersion);
            const QString archive =
                QFileInfo(QDir(folder).filePath(zumen::WorkingFolder::ServerFile)).isFile()
                    ? QStringLiteral("%1 の共有アーカイブ").arg(zumen::WorkingFolder::ServerFile)
                    : zumen::WorkingFolder::DatabaseFile;
            if (!missing.isEmpty()) {
                print(stdout, QStringLiteral("%1 に足りないもの:").arg(archive));
                for (const QString &m : missing)
                    print(stdout, QStringLiteral("  ") + m);
                return 1;
            }
            print(stdout, QStringLiteral("%1 (形式 %2) には必要な表と列がすべてそろっています。")
                              .arg(archive)
                              .arg(fileVersion));
        } else if (command == QLatin1String("init-server") && args.size() == 2) {
            zumen::Database server = zumen::Database::connect(args[1]);
            zumen::SharedArchive::initServer(server);
            print(stdout, QStringLiteral("サーバーのデータベース %1 に共有アーカイブを作りました。")
                              .arg(server.path()));
            printServerLine(args[1], server);
        } else if (command == QLatin1String("roles") && args.size() == 2) {
            zumen::Database server = zumen::Database::connect(args[1]);
            const QStringList lines = zumen::SharedArchive::roles(server);
            print(stdout,
                  QStringLiteral("役割 %1 (読むだけ) と %2 (登録と変更) に %3 の表の権限を与えました。"
                                 "各自のログインは、たとえば次のように作ります:")
                      .arg(zumen::SharedArchive::ReadRole, zumen::SharedArchive::FileRole, server.path()));
            for (const QString &line : lines)
                print(stdout, QStringLiteral("  ") + line);
        } else if (command == QLatin1String("migrate") && args.size() == 3) {
            zumen::Database server = zumen::Database::connect(args[2]);
            const zumen::SharedArchive::Migrated done = zumen::SharedArchive::migrate(
                args[1], server, parser.value(copyPagesOption),
                [](const QString &what, int, int) { print(stdout, what + QStringLiteral("…")); });
            QStringList counts;
            for (const auto &[table, rows] : done.counts)
                counts << QStringLiteral("%1 %2").arg(table, count(static_cast<int>(rows)));
            print(stdout,
                  QStringLiteral("'%1' の QV.MDB をサーバーのデータベース %2 へ写しました (行数: %3)。")
                      .arg(QDir(args[1]).absolutePath(), server.path(), counts.join(QStringLiteral(", "))));
            for (const QString &warning : done.warnings)
                print(stderr, QStringLiteral("注意: ") + warning);
            printServerLine(args[2], server);
        } else {
            return usage(parser, QStringLiteral("コマンドか引数の数が違います: ") + args.join(u' '));
        }
    } catch (const zumen::DbError &e) {
        print(stderr, QStringLiteral("エラー %1: %2").arg(e.number()).arg(e.description()));
        return 1;
    } catch (const std::exception &e) {
        print(stderr, QStringLiteral("エラー: ") + QString::fromUtf8(e.what()));
        return 1;
    }
    return 0;
}
