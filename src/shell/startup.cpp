#include "shell/startup.h"

#include "card/info_frm.h"
#include "card/memo_frm.h"
#include "db/archive.h"
#include "db/db_error.h"
#include "db/folders.h"
#include "db/layouts.h"
#include "db/numbered_error.h"
#include "db/repair.h"
#include "db/structure_check.h"
#include "dialogs/alert_frm.h"
#include "dialogs/guard.h"
#include "history/history_frm.h"
#include "lookup/trans.h"
#include "pages/drawing_frm.h"
#include "shell/desk.h"
#include "text/log.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QScreen>
#include <QTimer>

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

namespace {

// The progress of an upgrade of QV.MDB, which takes tens of seconds on a large file: made at the
// first step, shown only once the upgrade has taken half a second, so that a small file's does
// not flash it. No cancel: the upgrade is one transaction, and one stopped half-way would roll
// back and leave the program with nothing new to work on.
class UpgradeProgress {
public:
    void operator()(const QString &what, int done, int steps)
    {
        if (!m_dialog) {
            m_dialog = std::make_unique<QProgressDialog>();
            m_dialog->setWindowTitle(QStringLiteral("QV.MDB の更新"));
            m_dialog->setAccessibleName(m_dialog->windowTitle());
            m_dialog->setWindowModality(Qt::ApplicationModal);
            m_dialog->setCancelButton(nullptr);
            m_label = new QLabel;
            m_dialog->setLabel(m_label);
            m_dialog->setMinimumDuration(500);
            m_dialog->setAutoReset(false);
            m_dialog->setAutoClose(false);
            m_sinceEvents.start();
        }
        if (m_label->text() != what)
            setLabelText(*m_label, what);
        if (m_dialog->maximum() != steps)
            m_dialog->setRange(0, steps); // none while copying: a bar that only shows it works
        m_dialog->setValue(done);
        // Called again and again while a step runs: the dialog shows and redraws from here.
        if (m_sinceEvents.elapsed() >= 50) {
            QCoreApplication::processEvents();
            m_sinceEvents.restart();
        }
    }

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    QLabel *m_label = nullptr;
    QElapsedTimer m_sinceEvents;
};

// The notice for a file of an older version left as it was.
QString notUpgradedNotice(const UpgradeReport &u)
{
    return QStringLiteral("QV.MDB (形式 %1) をこのプログラムの形式 %2 に更新できませんでした。")
               .arg(u.from)
               .arg(Schema::CurrentVersion) +
           u'\r' + u.failure + u'\r' +
           QStringLiteral(
               "このまま使えますが、更新できるまで検索に時間がかかります。次の起動でもう一度更新します。");
}

Database openSharedArchive()
{
    Database db = WorkingFolder::openArchive(QStringLiteral("."));
    const int version = Schema::version(db);
    if (version == 0)
        throw DbError(
            DbErr::CannotOpen,
            QStringLiteral("共有アーカイブ %1 は空です。zumen-db init-server で作るか、zumen-db migrate で"
                           "作業フォルダの QV.MDB を移してください。")
                .arg(db.path()));
    if (version != Schema::CurrentVersion)
        throw DbError(DbErr::CannotOpen,
                      QStringLiteral("共有アーカイブ %1 の形式 %2 はこのプログラムの形式 %3 と違います。"
                                     "どのデスクも同じ版の Zumen で開いてください。")
                          .arg(db.path())
                          .arg(version)
                          .arg(Schema::CurrentVersion));
    return db;
}

// Steps 1 to 6 of the start-up: the open file, its layouts and folders, the windows shown.
std::unique_ptr<Desk> openDesk(StartCheck check, RepairReport &repaired, UpgradeReport &upgraded,
                               QStringList &foldersRewritten)
{
    std::unique_ptr<Desk> desk;
    upgraded = {};
    if (QFileInfo::exists(WorkingFolder::ServerFile)) {
        // The server keeps its tables whole and is brought to a new version by zumen-db: the
        // file's checks, repairs and upgrades have no part here.
        desk = std::make_unique<Desk>(openSharedArchive());
    } else if (check == StartCheck::Repair) {
        // The rebuilt file is of the current version.
        repaired = repairDatabase(WorkingFolder::DatabaseFile);
        desk = std::make_unique<Desk>(Database::open(WorkingFolder::DatabaseFile));
    } else {
        Database db = openRepairing(WorkingFolder::DatabaseFile, &repaired, check == StartCheck::Structure);
        {
            UpgradeProgress progress;
            upgraded = upgradeOlder(db, std::ref(progress));
        }
        desk = std::make_unique<Desk>(std::move(db));
    }
    desk->layouts.load(desk->mainLayout, desk->historyLayout);
    foldersRewritten = ReadFolderOptions(*desk);
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
    return desk;
}

} // namespace

std::unique_ptr<Desk> StartDesk(const ErrorBox &errorBox, StartCheck check)
{
    RepairReport repaired;
    UpgradeReport upgraded;
    QStringList foldersRewritten;
    std::unique_ptr<Desk> desk;
    try {
        try {
            desk = openDesk(check, repaired, upgraded, foldersRewritten);
        } catch (const DbError &e) {
            // Damage the open did not see shows in a later step: rebuilt and started again, once.
            desk.reset();
            if (e.number() != DbErr::UnrecognisedFormat || !repaired.backupPath.isEmpty() ||
                check == StartCheck::Repair)
                throw;
            desk = openDesk(StartCheck::Repair, repaired, upgraded, foldersRewritten);
        }
    } catch (const NumberedError &e) {
        // The program must not run on without its database: tell the user and end.
        errorBox(QStringLiteral("エラー"), startupErrorText(e));
        return nullptr;
    } catch (const std::exception &e) {
        errorBox(QStringLiteral("エラー"), QString::fromUtf8(e.what()));
        return nullptr;
    }
    if (!foldersRewritten.isEmpty()) {
        ShowAlert(QStringLiteral("フォルダの設定を QV.MDB のあるフォルダからの相対パスに書き換えました。"
                                 "作業フォルダを複写しても、複写先のページを使います。") +
                  u'\r' + foldersRewritten.join(u'\r'));
    }
    if (!repaired.backupPath.isEmpty()) {
        qCWarning(logDb).noquote() << "QV.MDB rebuilt from what could be read; the damaged file is"
                                   << repaired.backupPath;
        ShowAlert(repairNotice(repaired));
    }
    if (!upgraded.failure.isEmpty()) {
        qCWarning(logDb).noquote()
            << QStringLiteral("QV.MDB left at version %1: %2").arg(upgraded.from).arg(upgraded.failure);
        ShowAlert(notUpgradedNotice(upgraded));
    } else if (!upgraded.backupPath.isEmpty()) {
        qCInfo(logDb).noquote() << QStringLiteral("QV.MDB upgraded from version %1; the old file is %2")
                                       .arg(upgraded.from)
                                       .arg(upgraded.backupPath);
    }
    // A request left before the program started is served once the windows are up.
    guarded([&] { desk->checkRequestFile(); });
    return desk;
}

const QString DeskRun::OpenMarker = QStringLiteral(".QV.MDB.open");

DeskRun::DeskRun(ErrorBox errorBox, std::function<void()> endProgram)
    : m_errorBox(std::move(errorBox)), m_endProgram(std::move(endProgram))
{}

DeskRun::~DeskRun()
{
    closeDesk();
    // The run ends cleanly: the next start need not check the whole file first.
    if (!m_marker.isEmpty())
        QFile::remove(m_marker);
}

bool DeskRun::start()
{
    m_marker = QDir::current().absoluteFilePath(OpenMarker);
    // A marker left behind: the last run was killed or lost its power, perhaps in the middle of a
    // write the disk did not finish. That run's damage is looked for before the windows show.
    return start(QFileInfo::exists(m_marker) ? StartCheck::Structure : StartCheck::None);
}

bool DeskRun::start(StartCheck check)
{
    m_desk = StartDesk(m_errorBox, check);
    if (!m_desk) {
        m_marker.clear();
        return false;
    }
    m_desk->endProgram = m_endProgram;
    QFile marker(m_marker);
    if (!marker.open(QIODevice::WriteOnly))
        m_marker.clear(); // a folder that takes no new file: every start then goes without the check
    // Reported from the engine's own operations, or from the check's thread: the windows are
    // closed from the event loop, never from inside the operation that met the damage. A report
    // still on its way about a desk repaired since is no concern of the new one.
    const int desk = ++m_started;
    const auto report = [this, desk] {
        QMetaObject::invokeMethod(
            this, [this, desk] { damageFound(desk); }, Qt::QueuedConnection);
    };
    m_desk->db.setDamageHandler(report);
    if (check == StartCheck::None && m_desk->db.dialect() == Dialect::SQLite) {
        m_check = std::make_unique<StructureCheck>(m_desk->db.path(), [report](bool damaged) {
            if (damaged)
                report();
        });
    }
    return true;
}

void DeskRun::closeDesk()
{
    m_check.reset();
    if (!m_desk)
        return;
    // The windows opened from the desk (search, options, designer) hold on to it: they go first.
    QList<QPointer<QWidget>> opened;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->testAttribute(Qt::WA_DeleteOnClose))
            opened << window;
    }
    for (const QPointer<QWidget> &window : opened)
        delete window.data(); // one that went with its parent is null by now
    m_desk.reset();
}

void DeskRun::damageFound(int desk)
{
    if (desk != m_started || !m_desk || m_repairing)
        return;
    // Not from inside a dialog's own loop: the window that opened it still works on the desk.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        QTimer::singleShot(250, this, [this, desk] { damageFound(desk); });
        return;
    }
    m_repairing = true;
    qCWarning(logDb) << "damage found in QV.MDB while open: closing the windows to rebuild it";
    ShowAlert(QStringLiteral("QV.MDB に壊れたところが見つかりました。") + u'\r' +
              QStringLiteral("ウィンドウを閉じ、起動のときと同じように読める行から作り直して開き直します。"));
    closeDesk();
    if (!start(StartCheck::Repair) && m_endProgram)
        m_endProgram();
    m_repairing = false;
}

} // namespace zumen
