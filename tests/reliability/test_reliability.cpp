#include "db/database.h"
#include "db/record_store.h"
#include "imaging/tiff_io.h"
#include "tools/sample_drawing.h"
#include "tools/working_folder.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

constexpr QSize LargePage(6622, 4677); // A1 at 200 dpi: long enough to write for a kill to land

// A working folder as init makes it, with text items only (no memo window in the walk) and records 1 to 5,
// each with a scanned first page; record 1's is a large page.
void prepareFolder(const QString &folder)
{
    WorkingFolder::init(folder);
    const QDir dir(folder);
    Database db = Database::open(dir.filePath(QStringLiteral("QV.MDB")));
    db.executeNative(QStringLiteral("DELETE FROM Desgn WHERE Koumoku<>'S'"));
    const QImage large = sampleDrawing(QStringLiteral("A1"), QStringLiteral("large"), 1, LargePage);
    for (int id = 1; id <= 5; ++id) {
        const QString file = ScanFileName(id, std::nullopt);
        ASSERT_NO_THROW(writeBilevelTiff(id == 1 ? large.convertToFormat(QImage::Format_Mono)
                                                 : QImage(300, 200, QImage::Format_Mono),
                                         dir.filePath(QStringLiteral("scan/") + file), 200));
        db.executeNative(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (%1, 'seed')").arg(id));
        db.executeNative(
            QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (%1, 1, '_SCAN', '%2')")
                .arg(id)
                .arg(file));
    }
}

// "WxH" of a page file that libtiff reads to its last row; empty for a damaged or missing one.
QString pageSize(const QString &path)
{
    try {
        const TiffPage page = readTiff(path);
        return QStringLiteral("%1x%2").arg(page.size.width()).arg(page.size.height());
    } catch (const NumberedError &) {
        return QString();
    }
}

// Reads the desks' logs and lists, in words, whatever of them the folder does not hold: for
// each name and turn the last one reported done (or one tried after it: a kill may land between
// the commit and the note), each new record once with its own page, every page whole.
QStringList problems(const QString &folder, const QStringList &logs, int *created = nullptr)
{
    QHash<QString, QString> last{
        {QStringLiteral("turn:1"), QStringLiteral("%1x%2").arg(LargePage.width()).arg(LargePage.height())}};
    QHash<QString, QSet<QString>> tried;
    QList<QPair<int, QString>> added;
    for (const QString &path : logs) {
        QFile log(path);
        EXPECT_TRUE(log.open(QIODevice::ReadOnly));
        for (const QByteArray &line : log.readAll().split('\n')) {
            const QStringList f = QString::fromUtf8(line).split(u' ');
            if (f.size() != 4 || f[1] == QLatin1String("new")) {
                if (f.size() == 4 && f[0] == QLatin1String("done"))
                    added << qMakePair(f[2].toInt(), f[3]);
                continue;
            }
            const QString key = f[1] + u':' + f[2];
            if (f[0] == QLatin1String("try"))
                tried[key].insert(f[3]);
            else
                last[key] = f[3], tried.remove(key);
        }
    }
    QStringList out;
    const QDir dir(folder);
    Database db = Database::open(dir.filePath(QStringLiteral("QV.MDB")));
    const auto value = [&](const QString &sql, const QList<Variant> &binds = {}) {
        Statement st = db.prepare(sql);
        st.bindAll(binds);
        return st.step() ? st.column(0).toString() : QStringLiteral("(none)");
    };
    if (const QString check = value(QStringLiteral("PRAGMA integrity_check")); check != QLatin1String("ok"))
        out << QStringLiteral("integrity_check: ") + check;
    for (auto it = last.begin(); it != last.end(); ++it) {
        const int id = it.key().section(u':', 1).toInt();
        const QString now =
            it.key().startsWith(QLatin1String("name"))
                ? value(QStringLiteral("SELECT Namae FROM DT WHERE ID=?1"), {id})
                : pageSize(dir.filePath(QStringLiteral("scan/") + ScanFileName(id, std::nullopt)));
        if (now != it.value() && !tried.value(it.key()).contains(now))
            out << it.key() + QStringLiteral(" is ") + now + QStringLiteral(", saved as ") + it.value();
    }
    for (const auto &[id, name] : added) {
        // Names are never given twice: one found twice means a record was copied.
        if (value(QStringLiteral("SELECT count(*) FROM DT WHERE Namae=(SELECT Namae FROM DT WHERE ID=?1)"),
                  {id}) != QLatin1String("1"))
            out << name + QStringLiteral(" is not there exactly once");
        // The page's width and height say which desk scanned it for which record.
        const QString file = value(QStringLiteral("SELECT FileName FROM PG WHERE ID=?1 AND Page=1"), {id});
        const QString size = QStringLiteral("%1x%2")
                                 .arg(300 + name.section(u'-', 1).toInt())
                                 .arg(name.startsWith(u'B') ? 201 : 200);
        if (file != ScanFileName(id, std::nullopt) ||
            pageSize(dir.filePath(QStringLiteral("scan/") + file)) != size)
            out << name + QStringLiteral(": page 1 is ") + file;
    }
    if (const QString n =
            value(QStringLiteral("SELECT count(*) FROM DT WHERE ID NOT IN (SELECT ID FROM PG WHERE Page=1)"));
        n != QLatin1String("0"))
        out << n + QStringLiteral(" records without page 1");
    if (created)
        *created = static_cast<int>(added.size());
    return out;
}

QProcess *startDesk(const QString &folder, const QString &tag, const QString &mode)
{
    auto *p = new QProcess;
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QStringLiteral(DESK_DRIVER),
             {folder, QDir(folder).filePath(tag + QStringLiteral(".log")), tag, mode});
    return p;
}

// A desk killed at random moments of its saves, again and again: after each kill the file is
// whole and holds every save the desk reported. ZUMEN_KILLS sets the number of kills.
TEST(Reliability, KillsDuringSavesLoseNothingThatWasReported)
{
    QTemporaryDir dir;
    prepareFolder(dir.path());
    const int kills =
        qEnvironmentVariableIsSet("ZUMEN_KILLS") ? qEnvironmentVariableIntValue("ZUMEN_KILLS") : 50;
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int created = 0;
    for (int kill = 1; kill <= kills; ++kill) {
        std::unique_ptr<QProcess> desk(
            startDesk(dir.path(), QStringLiteral("K%1").arg(kill), QStringLiteral("kill")));
        ASSERT_TRUE(desk->waitForReadyRead(60000)) << "the desk did not start";
        QThread::msleep(random.bounded(400U));
        ASSERT_EQ(desk->state(), QProcess::Running) << "the desk ended by itself";
        ::kill(static_cast<pid_t>(desk->processId()), SIGKILL);
        desk->waitForFinished();
        QStringList logs;
        for (int k = 1; k <= kill; ++k)
            logs << QDir(dir.path()).filePath(QStringLiteral("K%1.log").arg(k));
        const QStringList found = problems(dir.path(), logs, &created);
        ASSERT_TRUE(found.isEmpty()) << "after kill " << kill << " (seed " << seed << "):\n"
                                     << found.join(u'\n').toStdString();
    }
    EXPECT_GT(created, 0);
}

// Two desks adding and renaming records on one folder at once: every save reported is there
// once, under its own number, with its own page file.
TEST(Reliability, TwoDesksOnOneFolderKeepEverySaveOnce)
{
    QTemporaryDir dir;
    prepareFolder(dir.path());
    std::unique_ptr<QProcess> a(startDesk(dir.path(), QStringLiteral("A"), QStringLiteral("two")));
    std::unique_ptr<QProcess> b(startDesk(dir.path(), QStringLiteral("B"), QStringLiteral("two")));
    for (QProcess *desk : {a.get(), b.get()}) {
        ASSERT_TRUE(desk->waitForFinished(120000));
        EXPECT_EQ(desk->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(desk->exitCode(), 0);
    }
    int created = 0;
    const QDir folder(dir.path());
    const QStringList found =
        problems(dir.path(), {folder.filePath("A.log"), folder.filePath("B.log")}, &created);
    EXPECT_TRUE(found.isEmpty()) << found.join(u'\n').toStdString();
    EXPECT_GT(created, 10);
    EXPECT_EQ(Database::open(folder.filePath(QStringLiteral("QV.MDB")))
                  .openRecordset("SELECT * FROM DT")
                  .recordCount(),
              5 + created);
}

} // namespace
