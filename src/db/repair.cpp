#include "db/repair.h"

#include "db/db_error.h"
#include "db/schema.h"
#include "db/text_index.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace zumen {
namespace {

// How long one run of the sqlite3 program may take before the repair gives up.
constexpr int ShellTimeoutMs = 300000;

bool looksLikeSqlite(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

bool sameContents(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    }
    return true;
}

// PATH.bakN: the first free number, or a backup that already holds these very bytes, so a
// file that cannot be repaired does not leave a new copy at every start.
QString backupFor(const QString &path, bool &exists)
{
    for (int n = 1;; ++n) {
        const QString candidate = path + QStringLiteral(".bak") + QString::number(n);
        exists = QFileInfo::exists(candidate);
        if (!exists || sameContents(path, candidate))
            return candidate;
    }
}

// Removes the new file unless it was put into place.
struct Scratch {
    QString path;
    bool kept = false;
    ~Scratch()
    {
        if (!kept) {
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-journal"));
        }
    }
};

DbError failure(const QString &text)
{
    return DbError(DbErr::CannotOpen, text);
}

// Runs the sqlite3 program on a database with one dot-command, its output written to outFile.
bool runShell(const QString &program, const QString &db, const QString &command, const QString &outFile)
{
    QProcess shell;
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.setStandardOutputFile(outFile);
    shell.setStandardErrorFile(QProcess::nullDevice());
    shell.start(program, {QStringLiteral("-batch"), db, command});
    if (!shell.waitForFinished(ShellTimeoutMs)) {
        shell.kill();
        shell.waitForFinished();
        return false;
    }
    return shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0;
}

// Runs the INSERT statements of the program's output that name one of our tables against the
// new file; everything else in it (its schema, pragmas, comments) is ours to decide, not its.
void applyRecovered(const QString &sqlFile, Database &target, RepairReport &report)
{
    QMap<QString, QString> ours; // lower-case name -> name as the schema spells it
    for (const Schema::Table &t : Schema::tables()) {
        ours.insert(t.name.toLower(), t.name);
        report.rows.insert(t.name, 0);
    }
    static const QRegularExpression insertInto(
        QStringLiteral(
            R"re(^\s*(?:(?:/\*.*?\*/|--[^\n]*\n)\s*)*INSERT\s+(?:OR\s+\w+\s+)?INTO\s+(?:"([^"]+)"|(\w+)))re"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);

    QFile in(sqlFile);
    if (!in.open(QIODevice::ReadOnly))
        return;
    QByteArray statement;
    while (!in.atEnd()) {
        statement += in.readLine();
        if (!sqlite3_complete(statement.constData()))
            continue;
        const QRegularExpressionMatch m = insertInto.match(QString::fromUtf8(statement));
        const QString table = m.hasMatch() ? (m.captured(1) + m.captured(2)).toLower() : QString();
        if (ours.contains(table)) {
            sqlite3_stmt *stmt = nullptr;
            const bool added =
                sqlite3_prepare_v2(target.handle(), statement.constData(), static_cast<int>(statement.size()),
                                   &stmt, nullptr) == SQLITE_OK &&
                sqlite3_step(stmt) == SQLITE_DONE && sqlite3_changes(target.handle()) == 1;
            sqlite3_finalize(stmt);
            if (added)
                ++report.rows[ours.value(table)];
            else
                ++report.rowsDropped;
        } else if (table == QLatin1String("lost_and_found")) {
            // Rows whose table the damage hid: no place for them in our schema.
            ++report.rowsUnplaced;
        }
        statement.clear();
    }
}

// PATH.v<version>.bak, or the first free PATH.v<version>.bakN from 2.
QString upgradeBackupFor(const QString &path, int version)
{
    const QString base = path + QStringLiteral(".v%1.bak").arg(version);
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = base + QString::number(n);
    return candidate;
}

// The database's progress handler for as long as this lives.
struct ProgressHook {
    Database &db;
    ProgressHook(Database &d, std::function<bool()> handler) : db(d)
    {
        db.setProgressHandler(std::move(handler));
    }
    ~ProgressHook() { db.setProgressHandler({}); }
};

} // namespace

long long RepairReport::rowsRecovered() const
{
    long long n = 0;
    for (long long r : rows)
        n += r;
    return n;
}

RepairReport repairDatabase(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    if (!looksLikeSqlite(path))
        throw DbError(DbErr::UnrecognisedFormat,
                      QStringLiteral("データベース形式 '%1' を認識できません。").arg(path));
    Schema::refuseNewer(path, Schema::headerVersion(path));
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        throw failure(QStringLiteral("%1 が壊れていますが、修復に使う sqlite3 プログラムが見つかりません。"
                                     "%1 はそのままです。sqlite3 を入れてから起動し直してください。")
                          .arg(name));

    RepairReport report;
    bool backupExists = false;
    report.backupPath = backupFor(path, backupExists);
    if (!backupExists && !QFile::copy(path, report.backupPath))
        throw failure(QStringLiteral("'%1' の控えを作れません。修復を中止しました。").arg(report.backupPath));
    const QString journal = path + QStringLiteral("-journal");
    if (QFileInfo::exists(journal) && !QFileInfo::exists(report.backupPath + QStringLiteral("-journal")))
        QFile::copy(journal, report.backupPath + QStringLiteral("-journal"));

    // The program reads a copy of its own: opening a file may roll back its journal, and the
    // backup stays exactly as the damage left it.
    QTemporaryDir work;
    const QString copy = work.filePath(QStringLiteral("damaged.db"));
    const QString sql = work.filePath(QStringLiteral("recovered.sql"));
    if (!work.isValid() || !QFile::copy(path, copy))
        throw failure(QStringLiteral("修復用の作業ファイルを作れません。%1 はそのままです。").arg(name));
    if (QFileInfo::exists(journal))
        QFile::copy(journal, copy + QStringLiteral("-journal"));
    // .recover reads every page it can; a program built without page access fails it, and
    // .dump then walks each table from both ends past the damage.
    if (!runShell(shell, copy, QStringLiteral(".recover"), sql) &&
        !runShell(shell, copy, QStringLiteral(".dump"), sql))
        throw failure(
            QStringLiteral("sqlite3 プログラムで %1 を読めませんでした。%1 はそのままです。").arg(name));

    Scratch rebuilt{path + QStringLiteral(".rebuild")};
    QFile::remove(rebuilt.path);
    QFile::remove(rebuilt.path + QStringLiteral("-journal"));
    {
        Database target = Database::create(rebuilt.path);
        Schema::create(target);
        Transaction t(target);
        applyRecovered(sql, target, report);
        // The index is derived from DT: made anew from the rows recovered, never read back.
        TextIndex::rebuild(target);
        t.commit();
        target.close();
    }
    if (report.rowsRecovered() == 0)
        throw DbError(DbErr::UnrecognisedFormat,
                      QStringLiteral("%1 は壊れていて、読める行が一つもありませんでした。"
                                     "%1 はそのままにし、元のファイルを %2 にも残してあります。")
                          .arg(name, report.backupPath));

    // The old journal belongs to the damaged file (kept with its backup): never apply it to the new one.
    QFile::remove(journal);
    if (std::rename(QFile::encodeName(rebuilt.path).constData(), QFile::encodeName(path).constData()) != 0)
        throw failure(QStringLiteral("修復したファイルを '%1' に置けません。").arg(path));
    rebuilt.kept = true;
    return report;
}

Database openRepairing(const QString &path, RepairReport *report, bool checkStructure)
{
    // Before opening it: opening may already write to a file (its journal mode).
    Schema::refuseNewer(path, Schema::headerVersion(path));
    try {
        Database db = Database::open(path);
        if (checkStructure)
            db.verifyIntegrity();
        return db;
    } catch (const DbError &e) {
        if (e.number() != DbErr::UnrecognisedFormat)
            throw;
    }
    const RepairReport done = repairDatabase(path);
    if (report)
        *report = done;
    Database db = Database::open(path);
    db.verifyIntegrity();
    return db;
}

UpgradeReport upgradeOlder(Database &db, const Schema::Progress &progress)
{
    UpgradeReport report;
    report.from = Schema::version(db);
    Schema::refuseNewer(db.path(), report.from);
    if (report.from == Schema::CurrentVersion)
        return report;
    // The handler tells the step that runs again and again, so the caller's windows stay alive.
    QString what;
    int done = 0, steps = 0;
    const auto tell = [&](const QString &w, int d, int n) {
        what = w;
        done = d;
        steps = n;
        if (progress)
            progress(what, done, steps);
    };
    ProgressHook hook(db, [&] {
        if (progress)
            progress(what, done, steps);
        return true;
    });
    report.backupPath = upgradeBackupFor(db.path(), report.from);
    const QString backupName = QFileInfo(report.backupPath).fileName();
    try {
        // VACUUM INTO writes a consistent copy even while another desk has the file open.
        tell(QStringLiteral("元のファイルを %1 に控えています").arg(backupName), 0, 0);
        Statement copy = db.prepare(QStringLiteral("VACUUM INTO ?1"));
        copy.bind(1, Variant(report.backupPath));
        copy.run();
    } catch (const DbError &e) {
        QFile::remove(report.backupPath);
        if (e.number() == DbErr::UnrecognisedFormat)
            throw;
        report.failure =
            QStringLiteral("控え %1 を作れませんでした。フォルダに書き込めないか、ディスクの空きが"
                           "足りません。")
                .arg(backupName);
        report.backupPath.clear();
        return report;
    }
    try {
        Schema::upgrade(db, tell);
    } catch (const DbError &e) {
        if (e.number() == DbErr::UnrecognisedFormat)
            throw;
        report.failure = QStringLiteral("エラー %1: %2").arg(e.number()).arg(e.description());
    }
    return report;
}

} // namespace zumen
