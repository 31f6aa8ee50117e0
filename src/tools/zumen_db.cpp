// zumen-db: prepares and checks working folders from the command line.
#include "db/db_error.h"
#include "db/folders.h"
#include "text/request_file.h"
#include "tools/generate.h"
#include "tools/working_folder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

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
    "  check [フォルダ]            QV.MDB に必要な表と列がそろっているか調べます\n"
    "  generate フォルダ --records 件数 [--seed 種]\n"
    "                              計測用の大きな作業フォルダを作ります\n"
    "  request ZUBAN|HINNAMAE 値 [フォルダ]\n"
    "                              図番か品名の表示を依頼するファイルを置きます";

// A command line that cannot be read: what was wrong, then how to write it, exit status 2.
int usage(const QCommandLineParser &parser, const QString &problem = {})
{
    if (!problem.isEmpty())
        print(stderr, problem);
    print(stderr, parser.helpText() + QString::fromUtf8(Commands));
    return 2;
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
    parser.setApplicationDescription(QStringLiteral("作業フォルダを作り、調べ、表示の依頼を置きます。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption recordsOption(QStringLiteral("records"), QStringLiteral("generate の件数"),
                                           QStringLiteral("件数"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("generate の乱数の種"),
                                        QStringLiteral("種"), QStringLiteral("1"));
    parser.addOptions({recordsOption, seedOption});
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
    if (command == QLatin1String("request") && (args.size() == 3 || args.size() == 4)) {
        const QString into = args.size() == 4 ? args[3] : QDir::currentPath();
        // A request left where no working folder is would wait for a program that never comes.
        if (!QFileInfo::exists(QDir(into).filePath(zumen::WorkingFolder::DatabaseFile))) {
            print(stderr, QStringLiteral("'%1' は作業フォルダではありません (QV.MDB がありません)。")
                              .arg(QDir(into).absolutePath()));
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
        if (command == QLatin1String("generate") && args.size() == 2) {
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
        } else if (command == QLatin1String("check") && args.size() <= 2) {
            int version = 0;
            const QStringList missing = zumen::WorkingFolder::check(folder, &version);
            if (!missing.isEmpty()) {
                print(stdout, QStringLiteral("QV.MDB に足りないもの:"));
                for (const QString &m : missing)
                    print(stdout, QStringLiteral("  ") + m);
                return 1;
            }
            print(stdout,
                  QStringLiteral("QV.MDB (形式 %1) には必要な表と列がすべてそろっています。").arg(version));
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
