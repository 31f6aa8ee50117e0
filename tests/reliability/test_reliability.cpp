#include "card/info_frm.h"
#include "db/database.h"
#include "imaging/tiff_io.h"
#include "tools/working_folder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <iostream>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

constexpr QSize LargePage(6622, 4677); // A1 at 200 dpi

// A working folder as init makes it, with layouts that need no memo window and records 1 to 5,
// each with a scanned first page; record 1's is a large Group 4 page.
void prepareFolder(const QString &folder)
{
    WorkingFolder::init(folder);
    const QDir dir(folder);
    Database db = Database::open(dir.filePath(QStringLiteral("QV.MDB")));
    db.executeNative(QStringLiteral("DELETE FROM Desgn"));
    db.executeNative(QStringLiteral("DELETE FROM DesgnHS"));
    db.executeNative(
        QStringLiteral("INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'S', 1, '図番', ' '),"
                       " (1, 'S', 2, '品名', ' '), (2, 'N', 1, '数量', '#,##0')"));
    db.executeNative(
        QStringLiteral("INSERT INTO DesgnHS (ID, Koumoku, Eda, Label, fmat) VALUES (0, 'D', 1, '日付', ' '),"
                       " (1, 'S', 1, '内容', ' ')"));
    QImage large(LargePage, QImage::Format_Grayscale8);
    large.fill(Qt::white);
    QPainter painter(&large);
    for (int x = 0; x < large.width(); x += 97)
        painter.drawLine(x, 0, large.width() - x, large.height());
    painter.end();
    for (int id = 1; id <= 5; ++id) {
        const QString file = ScanFileName(id, std::nullopt);
        QImage small(300, 200, QImage::Format_Mono);
        small.fill(0);
        ASSERT_NO_THROW(writeBilevelTiff(id == 1 ? large.convertToFormat(QImage::Format_Mono) : small,
                                         dir.filePath(QStringLiteral("scan/") + file), 200));
        db.executeNative(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (%1, 'seed')").arg(id));
        db.executeNative(
            QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (%1, 1, '_SCAN', '%2')")
                .arg(id)
                .arg(file));
    }
}

// What the driver's log says must be in the folder: for every value that can change, the last
// one reported saved, and the ones tried after it (a kill may land after the commit but before
// the report); every new record and history entry reported saved.
struct Expected {
    QHash<QString, QString> last{
        {QStringLiteral("layout:0"), QStringLiteral("図番")},
        {QStringLiteral("opt:12"), QStringLiteral("files")},
        {QStringLiteral("rot:1"), QStringLiteral("%1x%2").arg(LargePage.width()).arg(LargePage.height())}};
    QHash<QString, QSet<QString>> maybe;
    QList<QPair<QString, QString>> created, entries; // number (or number/page) and name
    int done = 0;
    bool inFlight = false; // the last line is a save begun and not reported

    void read(const QString &logPath)
    {
        QFile log(logPath);
        if (!log.open(QIODevice::ReadOnly))
            return;
        for (const QByteArray &line : log.readAll().split('\n')) {
            const QStringList f = QString::fromUtf8(line).split(u' ');
            if (f.size() != 4)
                continue;
            const QString &state = f[0], &kind = f[1], &value = f[3];
            const QString key = (kind == QLatin1String("new") ? QStringLiteral("name") : kind) + u':' + f[2];
            done += state == QLatin1String("done") ? 1 : 0;
            inFlight = state == QLatin1String("try");
            if (kind == QLatin1String("hist")) {
                if (state == QLatin1String("done"))
                    entries << qMakePair(f[2], value);
            } else if (state == QLatin1String("try") && kind != QLatin1String("new")) {
                maybe[key].insert(value);
            } else if (state == QLatin1String("fail")) {
                maybe[key].remove(value);
            } else if (state == QLatin1String("done")) {
                last[key] = value;
                maybe.remove(key);
                if (kind == QLatin1String("new"))
                    created << qMakePair(f[2], value);
            }
        }
    }
};

// Everything that does not hold in the folder, in words.
class Checker {
public:
    explicit Checker(const QString &folder) : m_dir(folder) {}

    QStringList problems(const Expected &e)
    {
        QStringList out;
        Database db = Database::open(m_dir.filePath(QStringLiteral("QV.MDB")));
        const auto value = [&](const QString &sql, const QList<Variant> &binds = {}) {
            Statement st = db.prepare(sql);
            st.bindAll(binds);
            return st.step() ? st.column(0).toString() : QStringLiteral("(none)");
        };
        if (const QString check = value(QStringLiteral("PRAGMA integrity_check"));
            check != QLatin1String("ok"))
            out << QStringLiteral("integrity_check: ") + check;
        for (auto it = e.last.begin(); it != e.last.end(); ++it) {
            const QString kind = it.key().section(u':', 0, 0), key = it.key().section(u':', 1);
            QString now;
            if (kind == QLatin1String("name"))
                now = value(QStringLiteral("SELECT Namae FROM DT WHERE ID=?1"), {key.toInt()});
            else if (kind == QLatin1String("layout"))
                now = value(QStringLiteral("SELECT Label FROM Desgn WHERE ID=0"));
            else if (kind == QLatin1String("opt"))
                now = value(QStringLiteral("SELECT Contents FROM UserOP WHERE Code=12"));
            else
                now = pageSize(QStringLiteral("scan/") + ScanFileName(1, std::nullopt));
            if (now != it.value() && !e.maybe.value(it.key()).contains(now))
                out << it.key() + QStringLiteral(" is ") + now + QStringLiteral(", saved as ") + it.value();
        }
        for (const auto &[id, name] : e.created) {
            // Names are never given twice: one found twice means a record was copied.
            if (value(
                    QStringLiteral("SELECT count(*) FROM DT WHERE Namae=(SELECT Namae FROM DT WHERE ID=?1)"),
                    {id.toInt()}) != QLatin1String("1"))
                out << name + QStringLiteral(" is not there exactly once");
            const QString file =
                value(QStringLiteral("SELECT FileName FROM PG WHERE ID=?1 AND Page=1"), {id.toInt()});
            // The page's width and height say which record it was scanned for.
            const QString size = QStringLiteral("%1x%2")
                                     .arg(300 + name.section(u'-', 1).toInt())
                                     .arg(name.section(u'-', 0, 0).endsWith(u'B') ? 201 : 200);
            if (file != ScanFileName(id.toInt(), std::nullopt) ||
                pageSize(QStringLiteral("scan/") + file) != size)
                out << name + QStringLiteral(": page 1 is ") + file + u' ' +
                           pageSize(QStringLiteral("scan/") + file);
        }
        for (const auto &[key, name] : e.entries) {
            if (value(QStringLiteral("SELECT Namae FROM Hstry WHERE ID=?1 AND Page=?2"),
                      {key.section(u'/', 0, 0).toInt(), key.section(u'/', 1).toInt()}) != name)
                out << QStringLiteral("history entry ") + key + QStringLiteral(" lost");
        }
        if (const QString n = value(QStringLiteral("SELECT count(*) FROM DT WHERE ID NOT IN "
                                                   "(SELECT ID FROM PG WHERE Page=1)"));
            n != QLatin1String("0"))
            out << n + QStringLiteral(" records without page 1");
        if (const QString layout = value(QStringLiteral("SELECT group_concat(Label, '|') FROM "
                                                        "(SELECT Label FROM Desgn ORDER BY ID)"));
            layout.section(u'|', 1) != QStringLiteral("品名|数量"))
            out << QStringLiteral("a mixed layout: ") + layout;
        Statement files = db.prepare(QStringLiteral("SELECT FileName FROM PG WHERE Dir='_SCAN'"));
        while (files.step()) {
            const QString path = QStringLiteral("scan/") + files.column(0).toString();
            if (pageSize(path).isEmpty())
                out << path + QStringLiteral(" is not a whole page");
        }
        return out;
    }

private:
    // "WxH" of a page file that libtiff reads to its last row; empty for a damaged or missing one.
    QString pageSize(const QString &path)
    {
        const QFileInfo info(m_dir.filePath(path));
        const QString stamp = QString::number(info.size()) + u'@' +
                              QString::number(info.lastModified().toMSecsSinceEpoch()) + u'@' +
                              QString::number(info.metadataChangeTime().toMSecsSinceEpoch());
        auto &known = m_read[path];
        if (known.first != stamp) {
            known = {stamp, {}};
            try {
                if (info.exists()) {
                    const TiffPage page = readTiff(info.filePath());
                    known.second = QStringLiteral("%1x%2").arg(page.size.width()).arg(page.size.height());
                }
            } catch (const NumberedError &) {
            }
        }
        return known.second;
    }

    QDir m_dir;
    QHash<QString, QPair<QString, QString>> m_read;
};

QProcess *startDesk(const QString &folder, const QString &log, const QString &tag,
                    const QStringList &more = {})
{
    auto *p = new QProcess;
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QStringLiteral(DESK_DRIVER), QStringList{folder, log, tag} + more);
    return p;
}

// A desk killed at random moments of its saves, again and again: after each kill the file is
// whole and holds every save the desk reported. ZUMEN_KILLS sets the number of kills.
TEST(Reliability, KillsDuringSavesLoseNothingThatWasReported)
{
    QTemporaryDir dir;
    prepareFolder(dir.path());
    const QString log = QDir(dir.path()).filePath(QStringLiteral("saves.log"));
    const int kills =
        qEnvironmentVariableIsSet("ZUMEN_KILLS") ? qEnvironmentVariableIntValue("ZUMEN_KILLS") : 50;
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    Checker checker(dir.path());
    Expected expected;
    int midSave = 0;
    for (int kill = 1; kill <= kills; ++kill) {
        std::unique_ptr<QProcess> desk(
            startDesk(dir.path(), log, QStringLiteral("k%1").arg(kill), {QStringLiteral("kill")}));
        ASSERT_TRUE(desk->waitForReadyRead(60000)) << "the desk did not start";
        QThread::msleep(random.bounded(400U));
        ASSERT_EQ(desk->state(), QProcess::Running) << "the desk ended by itself";
        ::kill(static_cast<pid_t>(desk->processId()), SIGKILL);
        desk->waitForFinished();
        expected = Expected();
        expected.read(log);
        midSave += expected.inFlight ? 1 : 0;
        const QStringList problems = checker.problems(expected);
        ASSERT_TRUE(problems.isEmpty()) << "after kill " << kill << " (seed " << seed << "):\n"
                                        << problems.join(u'\n').toStdString();
    }
    std::cout << kills << " kills (" << midSave << " in the middle of a save), " << expected.done
              << " saves reported and found, " << expected.created.size() << " of them new records\n";
    EXPECT_GT(expected.created.size(), 0);
}

// Two desks adding and editing records on one folder at once: every save either reported is
// there once, under its own number, with its own page file.
TEST(Reliability, TwoDesksOnOneFolderKeepEverySaveOnce)
{
    QTemporaryDir dir;
    prepareFolder(dir.path());
    const QDir folder(dir.path());
    std::unique_ptr<QProcess> a(startDesk(dir.path(), folder.filePath(QStringLiteral("a.log")),
                                          QStringLiteral("A"), {QStringLiteral("two"), QStringLiteral("4")}));
    std::unique_ptr<QProcess> b(startDesk(dir.path(), folder.filePath(QStringLiteral("b.log")),
                                          QStringLiteral("B"), {QStringLiteral("two"), QStringLiteral("4")}));
    for (QProcess *desk : {a.get(), b.get()}) {
        ASSERT_TRUE(desk->waitForFinished(120000));
        EXPECT_EQ(desk->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(desk->exitCode(), 0);
    }
    Expected expected;
    expected.read(folder.filePath(QStringLiteral("a.log")));
    expected.read(folder.filePath(QStringLiteral("b.log")));
    const QStringList problems = Checker(dir.path()).problems(expected);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
    QSet<QString> ids;
    for (const auto &created : expected.created)
        ids.insert(created.first);
    EXPECT_EQ(ids.size(), expected.created.size());
    EXPECT_GT(expected.created.size(), 10);
    Database db = Database::open(folder.filePath(QStringLiteral("QV.MDB")));
    EXPECT_EQ(db.openRecordset(QStringLiteral("SELECT * FROM DT")).recordCount(),
              5 + expected.created.size());
}

} // namespace
