#include "shell/startup.h"

#include "card/info_frm.h"
#include "card/memo_frm.h"
#include "db/archive.h"
#include "db/db_error.h"
#include "db/folders.h"
#include "db/layouts.h"
#include "db/numbered_error.h"
#include "db/repair.h"
#include "dialogs/alert_frm.h"
#include "dialogs/guard.h"
#include "history/history_frm.h"
#include "lookup/trans.h"
#include "pages/drawing_frm.h"
#include "shell/desk.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

namespace zumen {

namespace {

// What a rebuilt QV.MDB holds now, table by table, in words a user knows the data by.
QString repairNotice(const RepairReport &r)
{
    const auto n = [&](const char *table) {
        return QString::number(r.rows.value(QString::fromLatin1(table)));
    };
    QString text = QStringLiteral("QV.MDB が壊れていたため、読める行から作り直しました。") + u'\r' +
                   QStringLiteral("元のファイルは %1 に残してあります。").arg(r.backupPath) + u'\r' +
                   QStringLiteral("読めた行: レコード %1・ページ %2・履歴 %3・項目の設定 %4・オプション %5・"
                                  "ウィンドウの位置 %6。")
                       .arg(n("DT"), n("PG"), n("Hstry"),
                            QString::number(r.rows.value(QStringLiteral("Desgn")) +
                                            r.rows.value(QStringLiteral("DesgnHS"))),
                            n("UserOP"), n("Pos"));
    if (r.rowsDropped + r.rowsUnplaced > 0)
        text += u'\r' + QStringLiteral("入れられなかった %1 行は元のファイルだけにあります。")
                            .arg(r.rowsDropped + r.rowsUnplaced);
    return text;
}

} // namespace

QString startupErrorText(const NumberedError &error)
{
    return QStringLiteral("エラー番号 ") + (error.number() >= 0 ? QStringLiteral(" ") : QString()) +
           QString::number(error.number()) + error.source() + QStringLiteral(" でエラーが発生しました。 ") +
           u'\r' + error.description();
}

QStringList ReadFolderOptions(Archive &archive)
{
    struct Option {
        int code;
        QString caption;
        QString *folder;
        QString rewrite;
    };
    Option options[] = {
        {OptionCode::ScanFolder, QStringLiteral("スキャナデータパス"), &archive.scanFolder, {}},
        {OptionCode::FileFolder, QStringLiteral("ファイルデータパス"), &archive.fileFolder, {}}};
    const QString working = archive.options.workingFolder();
    bool rewrite = false;
    for (Option &option : options) {
        option.folder->clear();
        const std::optional<QString> stored = archive.options.find(option.code);
        if (!stored)
            continue;
        *option.folder = WorkingFolder::absoluteFolder(*stored, working);
        // Written before folders were kept relative: only an absolute folder inside is rewritten.
        const QString relative = WorkingFolder::storedFolder(*stored, working);
        if (QDir::isAbsolutePath(stored->trimmed()) && QDir::isRelativePath(relative)) {
            option.rewrite = relative;
            rewrite = true;
        }
    }
    if (!rewrite)
        return {};

    QStringList notes;
    try {
        Transaction transaction(archive.db);
        for (const Option &option : options) {
            if (option.rewrite.isEmpty())
                continue;
            archive.options.write(option.code, option.rewrite);
            notes << option.caption + QStringLiteral(": ") + *option.folder + QStringLiteral(" → ") +
                         option.rewrite;
        }
        transaction.commit();
    } catch (const DbError &) {
        // A file that cannot be written (read-only copy, locked) still works with the folders
        // read above; the rewrite is tried again at the next start.
        return {};
    }
    return notes;
}

std::unique_ptr<Desk> StartDesk(const std::function<void(const QString &, const QString &)> &errorBox)
{
    RepairReport repaired;
    std::unique_ptr<Desk> desk;
    try {
        desk = std::make_unique<Desk>(openRepairing(WorkingFolder::DatabaseFile, &repaired));
        desk->layouts.load(desk->mainLayout, desk->historyLayout);
        const QStringList foldersRewritten = ReadFolderOptions(*desk);
        desk->card = new Info_frm(*desk);
        desk->viewer = new Drawing_frm(*desk);
        desk->history = new History_frm(*desk);
        desk->memo = new Memo_frm;
        desk->connectWindows();
        // Design placement: the card at the top left, the viewer beside it.
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            desk->card->move(area.topLeft());
            desk->viewer->move(area.left() + desk->card->frameGeometry().width() + 8, area.top());
        }
        RestoreWindows(desk->placements, desk->card, desk->viewer, desk->history, desk->memo);
        desk->card->show();
        desk->viewer->show();
        if (!foldersRewritten.isEmpty()) {
            ShowAlert(QStringLiteral("フォルダの設定を QV.MDB のあるフォルダからの相対パスに書き換えました。"
                                     "作業フォルダを複写しても、複写先のページを使います。") +
                      u'\r' + foldersRewritten.join(u'\r'));
        }
    } catch (const NumberedError &e) {
        // The program must not run on without its database: tell the user and end.
        errorBox(QStringLiteral("エラー"), startupErrorText(e));
        return nullptr;
    } catch (const std::exception &e) {
        errorBox(QStringLiteral("エラー"), QString::fromUtf8(e.what()));
        return nullptr;
    }
    if (!repaired.backupPath.isEmpty())
        ShowAlert(repairNotice(repaired));
    // A request left before the program started is served once the windows are up.
    guarded([&] { desk->checkRequestFile(); });
    return desk;
}

} // namespace zumen
