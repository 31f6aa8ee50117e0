#include "db/database.h"
#include "support/zumen_db_tool.h"
#include "tools/working_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
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
    const ToolRun noDatabase = zumenDb({QStringLiteral("check"), dir.path()});
    EXPECT_NE(noDatabase.exitCode, 0);
    EXPECT_TRUE(noDatabase.err.contains(QStringLiteral("3024")));
    EXPECT_EQ(zumenDb({QStringLiteral("frobnicate")}).exitCode, 2);

    const ToolRun init = zumenDb({QStringLiteral("init")}, dir.path());
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    const QDir folder(dir.path());
    EXPECT_TRUE(folder.exists(QStringLiteral("scan")) && folder.exists(QStringLiteral("files")));
    EXPECT_FALSE(QImage(folder.filePath(WorkingFolder::PlaceholderImage)).isNull());

    EXPECT_FALSE(Database::open(folder.filePath(QStringLiteral("QV.MDB")))
                     .openRecordset(QStringLiteral("SELECT * FROM Desgn"))
                     .eof()); // a layout to start with
    const ToolRun check = zumenDb({QStringLiteral("check"), dir.path()});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();

    const QByteArray before = digest(folder.filePath(QStringLiteral("QV.MDB")));
    const ToolRun again = zumenDb({QStringLiteral("init"), dir.path()});
    EXPECT_NE(again.exitCode, 0);
    EXPECT_TRUE(again.err.contains(QStringLiteral("すでにあります")));
    EXPECT_EQ(digest(folder.filePath(QStringLiteral("QV.MDB"))), before);

    // Check lists what a database lacks, and only that.
    {
        Database db = Database::open(folder.filePath(QStringLiteral("QV.MDB")));
        db.executeNative(QStringLiteral("DROP TABLE UserOP"));
        db.executeNative(QStringLiteral("ALTER TABLE DT DROP COLUMN Str7"));
    }
    const ToolRun lacking = zumenDb({QStringLiteral("check"), dir.path()});
    EXPECT_EQ(lacking.exitCode, 1);
    EXPECT_TRUE(lacking.out.contains(QStringLiteral("table UserOP")));
    EXPECT_TRUE(lacking.out.contains(QStringLiteral("column DT.Str7")));
    EXPECT_FALSE(lacking.out.contains(QStringLiteral("DT.Str6")));
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

    QTemporaryDir emptyFile;
    QFile empty(QDir(emptyFile.path()).filePath(QStringLiteral("QV.MDB")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    const ToolRun init = zumenDb({QStringLiteral("init"), emptyFile.path()});
    EXPECT_EQ(init.exitCode, 0) << init.err.toStdString();
    EXPECT_EQ(zumenDb({QStringLiteral("check"), emptyFile.path()}).exitCode, 0);
    EXPECT_EQ(QDir(emptyFile.path()).entryList({QStringLiteral(".QV.MDB*")}, QDir::Files | QDir::Hidden),
              QStringList());
}

TEST(ZumenDb, DemoMakesItsFolderWithRecordsWhosePagesExistButOne)
{
    QTemporaryDir dir;
    const QDir folder(dir.filePath(QStringLiteral("new/demo")));
    const ToolRun demo = zumenDb({QStringLiteral("demo"), folder.path()});
    ASSERT_EQ(demo.exitCode, 0) << demo.err.toStdString();
    Database db = Database::open(folder.filePath(QStringLiteral("QV.MDB")));
    EXPECT_GE(db.openRecordset(QStringLiteral("SELECT * FROM DT")).recordCount(), 24);
    Recordset options = db.openRecordset(QStringLiteral("SELECT * FROM UserOP"));
    const auto optionFolder = [&](const QString &criterion) {
        options.findFirst(criterion);
        return QDir(WorkingFolder::absoluteFolder(options.field(QStringLiteral("Contents")).toString(),
                                                  folder.path()));
    };
    const QDir scan = optionFolder(QStringLiteral("Code=11"));
    const QDir files = optionFolder(QStringLiteral("Code=12"));

    int missing = 0, bilevel = 0;
    QStringList kinds;
    Recordset pages = db.openRecordset(QStringLiteral("SELECT * FROM PG ORDER BY ID"));
    while (!pages.eof()) {
        const QString sub = pages.field(QStringLiteral("Dir")).toString().trimmed();
        const QString name = pages.field(QStringLiteral("FileName")).toString();
        const QString path = sub == QLatin1String("_SCAN")
                                 ? scan.filePath(name)
                                 : files.filePath(sub.isEmpty() ? name : sub + u'/' + name);
        const QImage image(path);
        if (image.isNull()) {
            ++missing;
        } else {
            kinds << QFileInfo(name).suffix().toLower();
            if (image.depth() == 1)
                ++bilevel;
        }
        pages.moveNext();
    }
    EXPECT_EQ(missing, 1);
    EXPECT_TRUE(kinds.contains(QStringLiteral("jpg")) && kinds.contains(QStringLiteral("bmp")));
    EXPECT_GE(bilevel, 20);

    Recordset history = db.openRecordset(QStringLiteral("SELECT * FROM Hstry WHERE ID=6 ORDER BY Page"));
    history.moveLast();
    EXPECT_EQ(history.recordCount(), 3);
    EXPECT_EQ(history.field(QStringLiteral("Page")).toInteger(), 4); // a gap in the entry numbers
}

} // namespace
