#include "db/database.h"
#include "db/db_error.h"
#include "db/folders.h"
#include "db/history_store.h"
#include "db/layout_store.h"
#include "db/options_store.h"
#include "db/placement_store.h"
#include "db/record_store.h"
#include "db/schema.h"
#include "support/pg_server.h"
#include "support/zumen_db_tool.h"
#include "tools/generate.h"
#include "tools/shared_archive.h"
#include "tools/working_folder.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

qint64 rows(Database &db, const QString &table)
{
    Statement s = db.prepare(QStringLiteral("SELECT count(*) FROM ") + table);
    return s.step() ? s.columnInteger(0) : -1;
}

QStringList tableNames(Database &server)
{
    Statement s = server.prepare(QStringLiteral(
        "SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() ORDER BY 1"));
    QStringList names;
    while (s.step())
        names << s.column(0).toString();
    return names;
}

// The number and message of the DbError the call throws; empty when it throws none.
QString failure(const std::function<void()> &call)
{
    try {
        call();
    } catch (const DbError &e) {
        return QString::number(e.number()) + u' ' + e.description();
    }
    return {};
}

QString fileOf(const QString &folder)
{
    return QDir(folder).filePath(WorkingFolder::DatabaseFile);
}

TEST(SharedArchive, MigrateCopiesEveryTableAndTheStoresReadTheSameOnTheServer)
{
    ZUMEN_REQUIRE_SERVER();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("desk"));
    WorkingFolder::generate(folder, 400);
    {
        Database file = Database::open(fileOf(folder));
        HistoryStore(file).saveEntry(7, 1,
                                     {{QStringLiteral("Namae"), Variant("初版")},
                                      {QStringLiteral("Str1"), Variant("新規作成")},
                                      {QStringLiteral("Date1"), Variant(QDate(2020, 1, 2))}});
        PlacementStore(file).writePlacement(1, {120, 240, 4000, 6000.5});
        OptionsStore(file).writeViewerZoom(75);
    }
    ScratchDatabase target;
    Database server = Database::connect(target.conninfo());
    int steps = 0;
    const SharedArchive::Migrated migrated =
        SharedArchive::migrate(folder, server, {}, [&](const QString &, int, int) { ++steps; });
    EXPECT_EQ(steps, Schema::tables().size() + 2);

    Database file = Database::open(fileOf(folder));
    ASSERT_EQ(migrated.counts.size(), Schema::tables().size());
    for (const auto &[table, count] : migrated.counts) {
        EXPECT_EQ(rows(file, table), count) << table.toStdString();
        EXPECT_EQ(rows(server, table), count) << table.toStdString();
    }
    EXPECT_EQ(rows(server, QStringLiteral("DT")), 400);
    EXPECT_TRUE(Schema::missing(server).isEmpty());
    EXPECT_EQ(Schema::version(server), Schema::CurrentVersion);
    // Every index, built after the rows, besides each table's key.
    const QStringList made = Schema::createStatements(Dialect::PostgreSQL);
    Statement indexes =
        server.prepare(QStringLiteral("SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema()"));
    ASSERT_TRUE(indexes.step());
    EXPECT_EQ(indexes.columnInteger(0),
              made.filter(QRegularExpression(QStringLiteral("^CREATE (UNIQUE )?INDEX "))).size() +
                  Schema::tables().size());

    RecordStore fileRecords(file), serverRecords(server);
    for (int id : {1, 10, 250, 400}) {
        EXPECT_EQ(fileRecords.record(id), serverRecords.record(id)) << id;
        for (std::int16_t page : {1, 2}) {
            const auto a = fileRecords.page(id, page), b = serverRecords.page(id, page);
            EXPECT_EQ(a.count, b.count);
            EXPECT_EQ(a.page.has_value(), b.page.has_value());
            if (a.page && b.page) {
                EXPECT_TRUE(a.page->dir == b.page->dir && a.page->file == b.page->file) << id;
            }
        }
    }
    EXPECT_EQ(HistoryStore(server).entry(7, 1), HistoryStore(file).entry(7, 1));
    Layout fileMain, fileHistory, serverMain, serverHistory;
    LayoutStore(file).load(fileMain, fileHistory);
    LayoutStore(server).load(serverMain, serverHistory);
    for (std::size_t i = 0; i < fileMain.size(); ++i) {
        for (const auto &[a, b] :
             {std::pair{fileMain[i], serverMain[i]}, std::pair{fileHistory[i], serverHistory[i]}})
            EXPECT_TRUE(a.kind == b.kind && a.eda == b.eda && a.label == b.label && a.fmat == b.fmat) << i;
    }
    const auto placed = PlacementStore(server).placement(1);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->width, 6000.5);
    OptionsStore fileOptions(file), serverOptions(server);
    EXPECT_EQ(serverOptions.viewerZoom(), 75);
    // The page folders stay as stored, relative, which other workstations cannot see: said so.
    EXPECT_EQ(serverOptions.find(OptionCode::ScanFolder), fileOptions.find(OptionCode::ScanFolder));
    EXPECT_EQ(migrated.warnings.size(), 2);
    EXPECT_TRUE(migrated.warnings.join(u'\n').contains(QStringLiteral("--copy-pages")));

    // New rows follow the copied ones.
    serverRecords.putPage(400, 3, QStringLiteral("_SCAN"), QStringLiteral("SC00040003.TIF"));
    EXPECT_EQ(serverRecords.nextPage(400), 4);
    EXPECT_EQ(serverRecords.newRecordId(), 401);
}

TEST(SharedArchive, ARefusedOrFailedSetUpLeavesTheServerDatabaseAsItWas)
{
    ZUMEN_REQUIRE_SERVER();
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    {
        // A number column holding text, as a hand-edited file may: the server refuses it half-way.
        Database file = Database::open(fileOf(dir.path()));
        file.executeNative(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (1, 'one')"));
        file.executeNative(QStringLiteral("INSERT INTO Pos (ID, \"Left\") VALUES (1, 'wide')"));
    }
    ScratchDatabase target;
    Database server = Database::connect(target.conninfo());
    EXPECT_TRUE(failure([&] {
                    SharedArchive::migrate(dir.path(), server);
                }).contains(QStringLiteral("表 Pos を写せません")));
    EXPECT_TRUE(tableNames(server).isEmpty());

    // A page file in the way of --copy-pages refuses the lot before anything is written.
    {
        Database file = Database::open(fileOf(dir.path()));
        file.executeNative(QStringLiteral("UPDATE Pos SET \"Left\" = 1"));
    }
    QFile scan(QDir(dir.path()).filePath(QStringLiteral("scan/SC000001.TIF")));
    ASSERT_TRUE(scan.open(QIODevice::WriteOnly) && scan.write("page") == 4);
    scan.close();
    QTemporaryDir shared;
    QDir(shared.path()).mkdir(QStringLiteral("scan"));
    QFile there(QDir(shared.path()).filePath(QStringLiteral("scan/SC000001.TIF")));
    ASSERT_TRUE(there.open(QIODevice::WriteOnly) && there.write("theirs") == 6);
    there.close();
    EXPECT_TRUE(failure([&] {
                    SharedArchive::migrate(dir.path(), server, shared.path());
                }).contains(QStringLiteral("すでにファイルがあります")));
    EXPECT_TRUE(tableNames(server).isEmpty());
    EXPECT_EQ(QDir(shared.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("scan")});
    there.open(QIODevice::ReadOnly);
    EXPECT_EQ(there.readAll(), "theirs");

    // An archive is made once; a second, or a migration onto it, is refused and changes nothing.
    SharedArchive::initServer(server);
    Layout main, history;
    LayoutStore(server).load(main, history);
    EXPECT_EQ(main[0].label, QStringLiteral("図番"));
    EXPECT_EQ(ItemCount(history), 4);
    EXPECT_TRUE(failure([&] {
                    SharedArchive::initServer(server);
                }).contains(QStringLiteral("すでにアーカイブがあります")));
    EXPECT_TRUE(failure([&] {
                    SharedArchive::migrate(dir.path(), server);
                }).contains(QStringLiteral("すでにアーカイブがあります")));
    EXPECT_EQ(rows(server, QStringLiteral("DT")), 0);
    EXPECT_EQ(rows(server, QStringLiteral("Desgn")), 5);

    // Another table in the way, or C character classes (no trigrams of Japanese): refused.
    ScratchDatabase other;
    Database busy = Database::connect(other.conninfo());
    busy.executeNative(QStringLiteral("CREATE TABLE notes (x integer)"));
    EXPECT_TRUE(failure([&] { SharedArchive::initServer(busy); }).contains(QStringLiteral("notes")));
    EXPECT_EQ(tableNames(busy), QStringList{QStringLiteral("notes")});
    Database admin = Database::connect(*testServer());
    const QString cName = other.name() + QStringLiteral("_c");
    admin.executeNative(
        QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'")
            .arg(cName));
    {
        Database cType = Database::connect(*testServer() + QStringLiteral(" dbname=") + cName);
        EXPECT_TRUE(failure([&] {
                        SharedArchive::initServer(cType);
                    }).contains(QStringLiteral("LC_CTYPE 'C.UTF-8'")));
        EXPECT_TRUE(tableNames(cType).isEmpty());
    }
    admin.executeNative(QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(cName));
}

TEST(SharedArchive, TheReadingRoleOnlyReadsAndTheFilingRoleWrites)
{
    ZUMEN_REQUIRE_SERVER();
    ScratchDatabase target;
    Database owner = Database::connect(target.conninfo());
    EXPECT_TRUE(
        failure([&] { SharedArchive::roles(owner); }).contains(QStringLiteral("まだアーカイブがありません")));
    SharedArchive::initServer(owner);
    const QStringList lines = SharedArchive::roles(owner);
    EXPECT_EQ(SharedArchive::roles(owner), lines); // a second run is harmless
    EXPECT_TRUE(lines.join(u'\n').contains(QStringLiteral("LOGIN IN ROLE zumen_file;")));
    RecordStore(owner).saveRecord(1, {{QStringLiteral("Namae"), Variant("one")}});

    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString reader = QStringLiteral("zumen_t_reader_") + pid,
                  filer = QStringLiteral("zumen_t_filer_") + pid;
    Database admin = Database::connect(*testServer());
    admin.executeNative(QStringLiteral("CREATE ROLE %1 LOGIN IN ROLE zumen_read").arg(reader));
    admin.executeNative(QStringLiteral("CREATE ROLE %1 LOGIN IN ROLE zumen_file").arg(filer));
    const auto dropRoles = qScopeGuard([&] {
        admin.executeNative(QStringLiteral("DROP ROLE IF EXISTS %1").arg(reader));
        admin.executeNative(QStringLiteral("DROP ROLE IF EXISTS %1").arg(filer));
    });
    {
        Database asReader = Database::connect(target.conninfo() + QStringLiteral(" user=") + reader);
        EXPECT_TRUE(asReader.readOnly());
        EXPECT_EQ(RecordStore(asReader).record(1)->value(QStringLiteral("Namae")), Variant("one"));
        EXPECT_TRUE(failure([&] { Transaction t(asReader); }).startsWith(QStringLiteral("3033 ")));
        // Not the program's check alone: the server refuses the role's writes too.
        EXPECT_TRUE(failure([&] {
                        asReader.executeNative(QStringLiteral("INSERT INTO PG (ID, Page) VALUES (1, 1)"));
                    }).startsWith(QStringLiteral("3033 ")));

        Database asFiler = Database::connect(target.conninfo() + QStringLiteral(" user=") + filer);
        EXPECT_FALSE(asFiler.readOnly());
        RecordStore records(asFiler);
        records.saveRecord(2, {{QStringLiteral("Namae"), Variant("two")}});
        records.putPage(2, 1, QStringLiteral("_SCAN"), QStringLiteral("SC000002.TIF"));
        HistoryStore(asFiler).saveEntry(2, 1, {{QStringLiteral("Namae"), Variant("初版")}});
        OptionsStore(asFiler).writeViewerZoom(50);
        asFiler.executeNative(QStringLiteral("DELETE FROM DT WHERE ID = 1"));
        EXPECT_EQ(rows(owner, QStringLiteral("DT")), 1);
        EXPECT_EQ(rows(owner, QStringLiteral("PG")), 1);
    }
}

TEST(SharedArchive, MigrateCommandPrintsAServerLineThatAWorkstationOpens)
{
    ZUMEN_REQUIRE_SERVER();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("desk")),
                  shared = dir.filePath(QStringLiteral("shared"));
    WorkingFolder::generate(folder, 20);
    ScratchDatabase target;
    const ToolRun run =
        zumenDb({QStringLiteral("migrate"), folder, target.conninfo() + QStringLiteral(" password=secret"),
                 QStringLiteral("--copy-pages"), shared});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString line = run.out.split(u'\n').filter(QStringLiteral("dbname=")).value(0).trimmed();
    EXPECT_TRUE(line.contains(QStringLiteral("dbname=") + target.name())) << run.out.toStdString();
    EXPECT_FALSE(line.contains(QStringLiteral("user=")) || line.contains(QStringLiteral("password")));

    // A workstation's folder: QV.SERVER, and the person's own login from the environment.
    const QString desk = dir.filePath(QStringLiteral("workstation"));
    QDir().mkpath(desk);
    QFile server(QDir(desk).filePath(WorkingFolder::ServerFile));
    ASSERT_TRUE(server.open(QIODevice::WriteOnly));
    server.write("# the drawing office's archive\n" + line.toUtf8() + '\n');
    server.close();
    qputenv("PGUSER", "zumen");
    const auto unset = qScopeGuard([] { qunsetenv("PGUSER"); });
    {
        Database archive = WorkingFolder::openArchive(desk);
        RecordStore records(archive);
        EXPECT_TRUE(records.record(20));
        // The copied pages are where the options now say.
        OptionsStore options(archive);
        const QString scanFolder = options.folder(OptionCode::ScanFolder).value_or(QString());
        EXPECT_EQ(scanFolder, QDir(shared).filePath(WorkingFolder::ScanFolder));
        const auto page = records.page(20, 1).page;
        ASSERT_TRUE(page);
        EXPECT_TRUE(QFileInfo(WorkingFolder::pageFilePath(page->dir, page->file, scanFolder, {})).isFile());
    }
    const ToolRun check = zumenDb({QStringLiteral("check"), desk});
    EXPECT_TRUE(check.exitCode == 0 && check.out.contains(QStringLiteral("共有アーカイブ")))
        << check.out.toStdString();

    const ToolRun again = zumenDb({QStringLiteral("migrate"), folder, target.conninfo()});
    EXPECT_TRUE(again.exitCode == 1 && again.err.contains(QStringLiteral("すでにアーカイブがあります")));
    EXPECT_EQ(zumenDb({QStringLiteral("migrate"), folder}).exitCode, 2);
    EXPECT_EQ(zumenDb({QStringLiteral("init"), folder, QStringLiteral("--copy-pages"), shared}).exitCode, 2);
}

} // namespace
