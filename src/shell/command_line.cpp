#include "shell/command_line.h"

#include "shell/folder_chooser.h"
#include "shell/recent_folders.h"
#include "text/log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include <cstdio>

namespace zumen {

namespace {

void print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}

int refuse(const QString &text)
{
    qCWarning(logStart).noquote() << text;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("エラー"), text, QMessageBox::Ok);
    box.exec();
    return 1;
}

} // namespace

void loadQtTranslations(QCoreApplication &app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString &name : {QStringLiteral("qtbase_ja"), QStringLiteral("qt_ja")}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(name, folder)) {
            QCoreApplication::installTranslator(translator);
        } else {
            qCInfo(logStart) << "no Qt translation" << name << "in" << folder;
            delete translator;
        }
    }
}

std::optional<int> enterWorkingFolder(const QStringList &arguments, const RecentFolders &recent)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("図面を作業フォルダのデータベース QV.MDB で整理します。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption choose(QStringLiteral("choose"),
                                    QStringLiteral("作業フォルダを選んでから開きます"));
    parser.addOption(choose);
    parser.addPositionalArgument(QStringLiteral("フォルダ"),
                                 QStringLiteral("開く作業フォルダ (QV.MDB のあるフォルダ)。"
                                                "ないときは今のフォルダ"),
                                 QStringLiteral("[フォルダ]"));
    const bool read = parser.parse(arguments);
    const QStringList folders = parser.positionalArguments();
    if (!read || folders.size() > 1 || (parser.isSet(choose) && !folders.isEmpty())) {
        print(stderr, read ? QStringLiteral("開けるフォルダは一つです。") : parser.errorText());
        print(stderr, parser.helpText());
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("zumen ") + QCoreApplication::applicationVersion());
        return 0;
    }

    QString folder;
    if (parser.isSet(choose)) {
        FolderChooser chooser(recent.folders());
        if (chooser.exec() != QDialog::Accepted) {
            qCInfo(logStart) << "folder chooser cancelled";
            return 0;
        }
        folder = chooser.folder();
        qCInfo(logStart) << "chosen working folder" << folder;
    } else if (!folders.isEmpty()) {
        folder = folders.first();
        // Nothing is made in a folder named by mistake.
        if (!QFileInfo(folder).isDir())
            return refuse(
                QStringLiteral("フォルダ '%1' がありません。").arg(QDir::toNativeSeparators(folder)));
        if (!isWorkingFolder(folder))
            return refuse(QStringLiteral("'%1' は作業フォルダではありません (QV.MDB も QV.SERVER もありません)。\n"
                                         "zumen --choose で作業フォルダを選ぶか作ってください。")
                              .arg(QDir::toNativeSeparators(folder)));
    }
    // Start-up, requests and the open marker all work on the current folder.
    if (!folder.isEmpty() && !QDir::setCurrent(folder))
        return refuse(QStringLiteral("フォルダ '%1' を開けません。").arg(QDir::toNativeSeparators(folder)));
    return std::nullopt;
}

} // namespace zumen
