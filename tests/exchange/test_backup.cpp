#include "db/database.h"
#include "exchange/backup.h"
#include "support/page_files.h"
#include "support/query.h"
#include "support/zumen_db_tool.h"
#include "tools/working_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

QString sha256(const QString &path)
{
    return QString::fromLatin1(QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256).toHex());
}

QStringList manifestLines(const QString &backup, const QString &kind)
{
    QStringList found;
    for (const QString &line :
         QString::fromUtf8(fileBytes(QDir(backup).filePath(Backup::ManifestFile))).split(u'\n'))
        if (line.startsWith(kind + u'\t'))
            found << line.mid(kind.size() + 1);
    return found;
}

// A working folder with three records: a scanned page, an imported file in a subfolder of the
// file folder, and a scanned page whose file has gone missing.
void makeFolder(const QString &folder)
{
    WorkingFolder::init(folder);
    Database db = Database::open(QDir(folder).filePath("QV.MDB"));
    db.executeNative("INSERT INTO DT (ID, Str1) VALUES (1, 'A-1'), (2, 'A-2'), (3, 'A-3')");
    db.executeNative("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (1, 1, '_SCAN', 'SC000001.TIF'), "
                     "(2, 1, '部品', 'cover.jpg'), (3, 1, '_SCAN', 'SC000003.TIF')");
    writeBytes(QDir(folder).filePath("scan/SC000001.TIF"), "page one");
    QDir(folder).mkpath("files/部品");
    writeBytes(QDir(folder).filePath("files/部品/cover.jpg"), "page two");
}

TEST(Backup, ACopyTakenWhileAnotherProcessWritesIsWholeAndMatchesItsManifest)
{
    QTemporaryDir dir;
    const QDir top(dir.path());
    const QString source = top.filePath("w"), dest = top.filePath("b");
    makeFolder(source);

    // Another program saves record after record, each in its own transaction, until stopped.
    QString script = QStringLiteral(".timeout 10000\n");
    for (int i = 0; i < 3000; ++i)
        script += QStringLiteral("BEGIN; INSERT INTO DT (ID, Str1) VALUES (%1, 'W%1'); COMMIT;\n"
                                 ".shell sleep 0.002\n")
                      .arg(1000 + i);
    writeBytes(top.filePath("writes.sql"), script.toUtf8());
    QProcess writer;
    writer.start(QStringLiteral("sqlite3"),
                 {QDir(source).filePath("QV.MDB"), ".read " + top.filePath("writes.sql")});
    ASSERT_TRUE(writer.waitForStarted());

    Database live = Database::open(QDir(source).filePath("QV.MDB"));
    const QString written = QStringLiteral("SELECT count(*) FROM DT WHERE ID >= 1000");
    for (int i = 0; i < 500 && queryNumber(live, written) < 20; ++i)
        QThread::msleep(10);
    const std::int64_t before = queryNumber(live, written);
    ASSERT_GE(before, 20) << "the writer never got going";

    const ToolRun run = zumenDb({QStringLiteral("backup"), dest, source});
    EXPECT_EQ(writer.state(), QProcess::Running) << "the backup did not overlap the writes";
    writer.kill();
    writer.waitForFinished();
    // Complete, but a page is missing: status 1, and the file is named.
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(dest)) << run.out.toStdString();
    const QString lost = QDir(source).filePath("scan/SC000003.TIF");
    EXPECT_TRUE(run.err.contains(lost)) << run.err.toStdString();
    EXPECT_EQ(manifestLines(dest, "missing"), QStringList{lost});

    Database copy = Database::open(QDir(dest).filePath("QV.MDB"));
    EXPECT_EQ(queryColumn(copy, "PRAGMA integrity_check"), QStringList{"ok"});
    EXPECT_GE(queryNumber(copy, written), before) << "every record saved before the backup is in it";
    for (const QString &line : manifestLines(dest, "count")) {
        const QStringList field = line.split(u'\t');
        EXPECT_EQ(queryNumber(copy, "SELECT count(*) FROM " + field[0]), field[1].toLongLong())
            << line.toStdString();
    }
    EXPECT_EQ(manifestLines(dest, "count").size(), 7);
    copy.close();
    // Each file is what the manifest says, and each page is its source's bytes.
    const QStringList files = manifestLines(dest, "file");
    EXPECT_EQ(files.size(), 4) << "QV.MDB, the two pages found, the placeholder";
    for (const QString &line : files) {
        const QStringList field = line.split(u'\t');
        EXPECT_EQ(sha256(QDir(dest).filePath(field[2])), field[0]) << line.toStdString();
        if (field[2] != "QV.MDB") {
            EXPECT_EQ(field[0], sha256(QDir(source).filePath(field[2]))) << line.toStdString();
        }
    }
    EXPECT_EQ(top.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{"b", "w", "writes.sql"}))
        << "no temporary folder is left";
}

TEST(Backup, NothingIsOverwrittenAndRestoreChecksEveryFileBeforeWriting)
{
    QTemporaryDir dir;
    const QDir top(dir.path());
    const QString source = top.filePath("w"), elsewhere = top.filePath("share");
    makeFolder(source);
    // The scan folder lies outside the working folder: the copy gets its own.
    ASSERT_TRUE(QDir().rename(QDir(source).filePath("scan"), elsewhere));
    {
        Database db = Database::open(QDir(source).filePath("QV.MDB"));
        db.executeNative("UPDATE UserOP SET Contents='" + elsewhere + "' WHERE Code=11");
        db.executeNative("DELETE FROM PG WHERE ID=3"); // no missing page this time
    }

    // A destination holding anything is refused and left as it was.
    const QString full = top.filePath("full");
    QDir().mkpath(full);
    writeBytes(QDir(full).filePath("note.txt"), "keep");
    const ToolRun refused = zumenDb({QStringLiteral("backup"), full, source});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("空のフォルダではありません")) << refused.err.toStdString();
    EXPECT_EQ(QDir(full).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"note.txt"});
    // A shared archive's folder is the server's to back up and restore.
    const QString shared = top.filePath("shared");
    QDir().mkpath(shared);
    writeBytes(QDir(shared).filePath("QV.SERVER"), "host=db dbname=zumen");
    for (const QStringList &args : {QStringList{QStringLiteral("backup"), top.filePath("s"), shared},
                                    QStringList{QStringLiteral("restore"), full, shared}}) {
        const ToolRun server = zumenDb(args);
        EXPECT_EQ(server.exitCode, 1);
        EXPECT_TRUE(server.err.contains("pg_dump")) << server.err.toStdString();
    }

    const QString backup = top.filePath("b");
    QDir().mkpath(backup); // an empty folder is fine
    const ToolRun made = zumenDb({QStringLiteral("backup"), backup}, source);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(backup).filePath("external/scan/SC000001.TIF")));
    {
        const QString scanFolder = "SELECT Contents FROM UserOP WHERE Code=11";
        Database copy = Database::open(QDir(backup).filePath("QV.MDB"));
        EXPECT_EQ(queryColumn(copy, scanFolder), QStringList{"external/scan"});
        Database original = Database::open(QDir(source).filePath("QV.MDB"));
        EXPECT_EQ(queryColumn(original, scanFolder), QStringList{elsewhere});
    }

    // Restore refuses a working folder, and a damaged backup, without writing anything.
    const ToolRun ontoWorking = zumenDb({QStringLiteral("restore"), backup, source});
    EXPECT_EQ(ontoWorking.exitCode, 1);
    EXPECT_TRUE(ontoWorking.err.contains("すでに QV.MDB があります")) << ontoWorking.err.toStdString();
    const QString page = QDir(backup).filePath("files/部品/cover.jpg");
    const QByteArray good = fileBytes(page);
    QByteArray flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 1);
    writeBytes(page, flipped);
    const QString target = top.filePath("r");
    const ToolRun damaged = zumenDb({QStringLiteral("restore"), backup, target});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_TRUE(damaged.err.contains("files/部品/cover.jpg")) << damaged.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));

    writeBytes(page, good);
    QDir().mkpath(target);
    const ToolRun back = zumenDb({QStringLiteral("restore"), backup}, target);
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    EXPECT_EQ(zumenDb({QStringLiteral("check"), target}).exitCode, 0);
    EXPECT_EQ(sha256(QDir(target).filePath("external/scan/SC000001.TIF")),
              sha256(QDir(elsewhere).filePath("SC000001.TIF")));
    EXPECT_FALSE(QFileInfo::exists(QDir(target).filePath(".QV.MDB.restoring")));
}

} // namespace
