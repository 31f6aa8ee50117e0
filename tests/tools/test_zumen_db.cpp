#include "db/database.h"
#include "support/zumen_db_tool.h"
#include "tools/working_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

TEST(ZumenDb, InitMakesAWorkingFolderNeverTouchesAnExistingOneAndFailuresSayWhy)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    for (const char *command : {"init", "demo"}) {
        const ToolRun inTheWay =
            zumenDb({QString::fromLatin1(command), plain.fileName() + QStringLiteral("/sub")});
        EXPECT_EQ(inTheWay.exitCode, 1) << command;
        EXPECT_TRUE(
            inTheWay.err.contains(QStringLiteral("'%1' はフォルダではありません").arg(plain.fileName())));
    }
    EXPECT_TRUE(zumenDb({QStringLiteral("check"), dir.path()}).err.contains(QStringLiteral("3024")));
    const ToolRun wrong = zumenDb({QStringLiteral("frobnicate")});
    EXPECT_TRUE(wrong.exitCode == 2 && wrong.err.contains(QStringLiteral("generate フォルダ")));
    const ToolRun help = zumenDb({QStringLiteral("--help")});
    EXPECT_TRUE(help.exitCode == 0 && help.out.contains(QStringLiteral("request ZUBAN|HINNAMAE")));
    EXPECT_EQ(zumenDb({QStringLiteral("--version")}).exitCode, 0);
    // A request where no working folder is would never be served: refused, nothing written.
    const ToolRun nowhere =
        zumenDb({QStringLiteral("request"), QStringLiteral("ZUBAN"), QStringLiteral("A"), dir.path()});
    EXPECT_TRUE(nowhere.exitCode == 1 && nowhere.err.contains(QStringLiteral("作業フォルダではありません")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("plain")});

    const ToolRun init = zumenDb({QStringLiteral("init")}, dir.path());
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    const QDir folder(dir.path());
    EXPECT_TRUE(folder.exists(QStringLiteral("scan")) && folder.exists(QStringLiteral("files")));
    EXPECT_FALSE(QImage(folder.filePath(WorkingFolder::PlaceholderImage)).isNull());
    const ToolRun check = zumenDb({QStringLiteral("check"), dir.path()});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();

    const QByteArray before = digest(folder.filePath(QStringLiteral("QV.MDB")));
    const ToolRun again = zumenDb({QStringLiteral("init"), dir.path()});
    EXPECT_TRUE(again.exitCode != 0 && again.err.contains(QStringLiteral("すでにあります")));
    EXPECT_EQ(digest(folder.filePath(QStringLiteral("QV.MDB"))), before);

    // Check lists what a database lacks, and only that.
    {
        Database db = Database::open(folder.filePath(QStringLiteral("QV.MDB")));
        db.executeNative(QStringLiteral("DROP TABLE UserOP"));
        db.executeNative(QStringLiteral("DROP INDEX DT_Str7")); // a column with an index cannot go
        db.executeNative(QStringLiteral("ALTER TABLE DT DROP COLUMN Str7"));
    }
    const ToolRun lacking = zumenDb({QStringLiteral("check"), dir.path()});
    EXPECT_EQ(lacking.exitCode, 1);
    EXPECT_TRUE(lacking.out.contains(QStringLiteral("table UserOP")) &&
                lacking.out.contains(QStringLiteral("column DT.Str7")) && !lacking.out.contains("DT.Str6"));
}

// Every row of DT and PG in key order, one line each.
QStringList rows(const QString &folder)
{
    Database db = Database::open(QDir(folder).filePath(QStringLiteral("QV.MDB")));
    QStringList lines;
    for (const char *sql : {"SELECT * FROM DT ORDER BY ID", "SELECT * FROM PG ORDER BY ID, Page"}) {
        Statement s = db.prepare(QString::fromLatin1(sql));
        while (s.step()) {
            QStringList values;
            for (int i = 0; i < s.columnCount(); ++i)
                values << s.column(i).toString();
            lines << values.join(u'|');
        }
    }
    return lines;
}

TEST(ZumenDb, GenerateFillsAWholeFolderTheSameForASeedAndNeverOverAnExistingOne)
{
    QTemporaryDir dir;
    const auto generate = [&](const QString &name, const QString &seed) {
        return zumenDb({QStringLiteral("generate"), dir.filePath(name), QStringLiteral("--records"),
                        QStringLiteral("300"), QStringLiteral("--seed"), seed});
    };
    for (const auto &[name, seed] : {std::pair{"a", "7"}, {"b", "7"}, {"c", "8"}}) {
        const ToolRun run = generate(QString::fromLatin1(name), QString::fromLatin1(seed));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    }
    const QString a = dir.filePath(QStringLiteral("a"));
    EXPECT_EQ(zumenDb({QStringLiteral("check"), a}).exitCode, 0);
    const QStringList generated = rows(a);
    EXPECT_EQ(generated, rows(dir.filePath(QStringLiteral("b"))));
    EXPECT_NE(generated, rows(dir.filePath(QStringLiteral("c"))));

    // 300 records, a page 1 each and a page 2 on every tenth, every page file in the scan folder.
    Database db = Database::open(QDir(a).filePath(QStringLiteral("QV.MDB")));
    Statement counts = db.prepare(
        QStringLiteral("SELECT (SELECT count(*) FROM DT), (SELECT count(*) FROM PG WHERE Page = 1), "
                       "(SELECT count(*) FROM PG WHERE Page = 2 AND ID % 10 = 0), (SELECT count(*) FROM PG), "
                       "(SELECT count(*) FROM DT WHERE Text1 LIKE '%溶接部%')"));
    ASSERT_TRUE(counts.step());
    EXPECT_EQ(counts.columnInteger(0), 300);
    EXPECT_EQ(counts.columnInteger(1), 300);
    EXPECT_EQ(counts.columnInteger(2), 30);
    EXPECT_EQ(counts.columnInteger(3), 330);
    EXPECT_GT(counts.columnInteger(4), 0);
    Statement files = db.prepare(QStringLiteral("SELECT DISTINCT FileName FROM PG"));
    while (files.step())
        EXPECT_TRUE(
            QFileInfo::exists(QDir(a).filePath(QStringLiteral("scan/")) + files.column(0).toString()));
    db.close();

    const QByteArray before = digest(QDir(a).filePath(QStringLiteral("QV.MDB")));
    const ToolRun again = generate(QStringLiteral("a"), QStringLiteral("9"));
    EXPECT_TRUE(again.exitCode == 1 && again.err.contains(QStringLiteral("すでにあります")));
    EXPECT_EQ(digest(QDir(a).filePath(QStringLiteral("QV.MDB"))), before);
    EXPECT_EQ(zumenDb({QStringLiteral("generate"), dir.filePath(QStringLiteral("d"))}).exitCode, 2);
}

// Kills an init the moment a file named QV.MDB appears in the folder (or when it ends).
void killInitWhenTheDatabaseAppears(const QString &folder)
{
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO), 0);
    QProcess p;
    p.start(QStringLiteral(ZUMEN_DB_TOOL), {QStringLiteral("init"), folder});
    bool seen = false;
    pollfd event{watch, POLLIN, 0};
    alignas(inotify_event) char buffer[4096];
    while (!seen && poll(&event, 1, 60000) > 0) {
        const ssize_t n = read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
            seen = seen || (e->len > 0 && qstrcmp(e->name, "QV.MDB") == 0);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    p.waitForFinished();
    close(watch);
    EXPECT_TRUE(seen);
}

// An init is all or nothing: killed as QV.MDB appears, the file it leaves is complete. An
// empty QV.MDB, as an interrupted init used to leave, holds nothing and is replaced.
TEST(ZumenDb, AnInterruptedInitLeavesNoPartOfADatabase)
{
    QTemporaryDir dir;
    killInitWhenTheDatabaseAppears(dir.path());
    const ToolRun check = zumenDb({QStringLiteral("check"), dir.path()});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();

    QFile empty(QDir(dir.path()).filePath(QStringLiteral("QV.MDB")));
    ASSERT_TRUE(empty.resize(0));
    EXPECT_EQ(zumenDb({QStringLiteral("init"), dir.path()}).exitCode, 0);
    EXPECT_EQ(zumenDb({QStringLiteral("check"), dir.path()}).exitCode, 0);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".QV.MDB*")}, QDir::Files | QDir::Hidden),
              QStringList());
}

} // namespace
