// zumen-db: prepares and checks working folders from the command line.
#include "db/db_error.h"
#include "text/request_file.h"
#include "tools/generate.h"
#include "tools/working_folder.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

namespace {

void print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}

int usage()
{
    print(stderr,
          QStringLiteral("使い方:\n"
                         "  zumen-db init [フォルダ]    空のデータベース QV.MDB と作業フォルダを作ります\n"
                         "  zumen-db demo フォルダ      見本の図面とデータ入りの作業フォルダを作ります\n"
                         "  zumen-db check [フォルダ]   QV.MDB に必要な表と列がそろっているか調べます\n"
                         "  zumen-db generate フォルダ --records 件数 [--seed 種]\n"
                         "                              計測用の大きな作業フォルダを作ります\n"
                         "  zumen-db request ZUBAN|HINNAMAE 値 [フォルダ]\n"
                         "                              図番か品名の表示を依頼するファイルを置きます"));
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
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args[0];
    const QString folder = args.size() > 1 ? args[1] : QDir::currentPath();
    if (command == QLatin1String("request") && (args.size() == 3 || args.size() == 4)) {
        const QString into = args.size() == 4 ? args[3] : QDir::currentPath();
        QString error;
        if (!zumen::writeRequest(into, args[1], args[2], &error)) {
            print(stderr, error);
            return 1;
        }
        return 0;
    }
    try {
        if (command == QLatin1String("generate")) {
            // generate FOLDER --records N [--seed S]
            const QStringList rest = args.mid(2);
            int records = -1;
            quint32 seed = 1;
            bool ok = rest.size() == 2 || rest.size() == 4;
            for (qsizetype i = 0; ok && i + 1 < rest.size(); i += 2) {
                if (rest[i] == QLatin1String("--records"))
                    records = rest[i + 1].toInt(&ok);
                else if (rest[i] == QLatin1String("--seed"))
                    seed = rest[i + 1].toUInt(&ok);
                else
                    ok = false;
            }
            if (!ok || records < 0)
                return usage();
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
            const QStringList missing = zumen::WorkingFolder::check(folder);
            if (!missing.isEmpty()) {
                print(stdout, QStringLiteral("QV.MDB に足りないもの:"));
                for (const QString &m : missing)
                    print(stdout, QStringLiteral("  ") + m);
                return 1;
            }
            print(stdout, QStringLiteral("QV.MDB には必要な表と列がすべてそろっています。"));
        } else {
            return usage();
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
