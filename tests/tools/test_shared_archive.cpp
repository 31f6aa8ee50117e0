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
                                      {QStringLiteral("Date1"), Variant(QDate(2020, 1, 2))}});
        PlacementStore(file).writePlacement(1, {120, 240, 4000, 6000.5});
        OptionsStore(file).writeViewerZoom(75);
    }
    ScratchDatabase target;
    Database server = Database::connect(target.conninfo());
    const SharedArchive::Migrated migrated = SharedArchive::migrate(folder, server);

    Database file = Database::open(fileOf(folder));
    ASSERT_EQ(migrated.counts.size(), Schema::tables().size());
    for (const auto &[table, count] : migrated.counts)
        EXPECT_TRUE(count == rows(file, table) && count == rows(server, table)) << table.toStdString();
    EXPECT_EQ(rows(server, QStringLiteral("DT")), 400);
    EXPECT_EQ(Schema::version(server), Schema::CurrentVersion);
    // Every index, built after the rows, besides each table's key.
    Statement indexes =
        server.prepare(QStringLiteral("SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema()"));
    ASSERT_TRUE(indexes.step());
    EXPECT_EQ(indexes.columnInteger(0),
              Schema::createStatements(Dialect::PostgreSQL)
                      .filter(QRegularExpression(QStringLiteral("^CREATE (UNIQUE )?INDEX ")))
                      .size() +
                  Schema::tables().size());

    RecordStore fileRecords(file), serverRecords(server);
    const auto pageFile = [](RecordStore &records, int id, std::int16_t page) {
        const auto found = records.page(id, page).page;
        return found ? found->dir + u'/' + found->file : QString();
    };
    for (int id : {1, 10, 250, 400}) {
        EXPECT_EQ(fileRecords.record(id), serverRecords.record(id)) << id;
        EXPECT_EQ(pageFile(fileRecords, id, 1), pageFile(serverRecords, id, 1));
        EXPECT_EQ(pageFile(fileRecords, id, 2), pageFile(serverRecords, id, 2));
    }
    EXPECT_EQ(HistoryStore(server).entry(7, 1), HistoryStore(file).entry(7, 1));
    Layout layouts[4];
    LayoutStore(file).load(layouts[0], layouts[1]);
    LayoutStore(server).load(layouts[2], layouts[3]);
    for (std::size_t i = 0; i < layouts[0].size(); ++i) {
        for (int l : {0, 1}) {
            const LayoutItem &a = layouts[l][i], &b = layouts[l + 2][i];
            EXPECT_TRUE(a.kind == b.kind && a.eda == b.eda && a.label == b.label && a.fmat == b.fmat) << i;
        }
    }
    EXPECT_EQ(PlacementStore(server).placement(1).value_or(Placement{}).width, 6000.5);
    EXPECT_EQ(OptionsStore(server).viewerZoom(), 75);
    // The page folders stay as stored, relative, which other workstations cannot see: said so.
    EXPECT_EQ(OptionsStore(server).find(OptionCode::ScanFolder),
              OptionsStore(file).find(OptionCode::ScanFolder));
    EXPECT_EQ(migrated.warnings.size(), 2);
    EXPECT_TRUE(migrated.warnings.join(u'\n').contains(QStringLiteral("--copy-pages")));
}

TEST(SharedArchive, ARefusedOrFailedSetUpLeavesTheServerDatabaseAsItWas)
{
    ZUMEN_REQUIRE_SERVER();
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    Database file = Database::open(fileOf(dir.path()));
    // A number column holding text, as a hand-edited file may: the server refuses it half-way.
    file.executeNative(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (1, 'one')"));
    file.executeNative(QStringLiteral("INSERT INTO Pos (ID, \"Left\") VALUES (1, 'wide')"));
    ScratchDatabase target;
    Database server = Database::connect(target.conninfo());
    const auto migrate = [&](const QString &pagesTo = {}) {
        SharedArchive::migrate(dir.path(), server, pagesTo);
    };
    EXPECT_TRUE(failure(migrate).contains(QStringLiteral("表 Pos を写せません")));
    EXPECT_TRUE(tableNames(server).isEmpty());
    file.executeNative(QStringLiteral("UPDATE Pos SET \"Left\" = 1"));

    // A page file in the way of --copy-pages refuses the lot before anything is written.
    QTemporaryDir shared;
    QDir(shared.path()).mkdir(QStringLiteral("scan"));
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write(dir.filePath(QStringLiteral("scan/SC000001.TIF")), "page"));
    ASSERT_TRUE(write(shared.filePath(QStringLiteral("scan/SC000001.TIF")), "theirs"));
    EXPECT_TRUE(
        failure([&] { migrate(shared.path()); }).contains(QStringLiteral("すでにファイルがあります")));
    EXPECT_TRUE(tableNames(server).isEmpty());
    EXPECT_EQ(QDir(shared.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"scan"});
    QFile theirs(shared.filePath(QStringLiteral("scan/SC000001.TIF")));
    EXPECT_TRUE(theirs.open(QIODevice::ReadOnly) && theirs.readAll() == "theirs");

    // An archive is made once; a second, or a migration onto it, is refused and changes nothing.
    SharedArchive::initServer(server);
    Layout main, history;
    LayoutStore(server).load(main, history);
    EXPECT_TRUE(main[0].label == QStringLiteral("図番") && ItemCount(history) == 4);
    EXPECT_TRUE(
        failure([&] { SharedArchive::initServer(server); }).contains(QStringLiteral("すでにアーカイブ")));
    EXPECT_TRUE(failure(migrate).contains(QStringLiteral("すでにアーカイブ")));
    EXPECT_TRUE(rows(server, QStringLiteral("DT")) == 0 && rows(server, QStringLiteral("Desgn")) == 5);

    // Another table in the way, or C character classes (no trigrams of Japanese): refused.
    ScratchDatabase other;
    Database busy = Database::connect(other.conninfo());
    busy.executeNative(QStringLiteral("CREATE TABLE notes (x integer)"));
    EXPECT_TRUE(failure([&] { SharedArchive::initServer(busy); }).contains(QStringLiteral("notes")));
    EXPECT_EQ(tableNames(busy), QStringList{"notes"});
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
        RecordStore(asFiler).saveRecord(2, {{QStringLiteral("Namae"), Variant("two")}});
        RecordStore(asFiler).putPage(2, 1, QStringLiteral("_SCAN"), QStringLiteral("SC000002.TIF"));
        OptionsStore(asFiler).writeViewerZoom(50);
        asFiler.executeNative(QStringLiteral("DELETE FROM DT WHERE ID = 1"));
        EXPECT_TRUE(rows(owner, QStringLiteral("DT")) == 1 && rows(owner, QStringLiteral("PG")) == 1);
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
    ASSERT_TRUE(server.open(QIODevice::WriteOnly) && server.write("# drawings\n" + line.toUtf8() + '\n') > 0);
    server.close();
    qputenv("PGUSER", "zumen");
    const auto unset = qScopeGuard([] { qunsetenv("PGUSER"); });
    {
        Database archive = WorkingFolder::openArchive(desk);
        RecordStore records(archive);
        EXPECT_TRUE(records.record(20));
        // The copied pages are where the options now say.
        const QString scanFolder = OptionsStore(archive).folder(OptionCode::ScanFolder).value_or(QString());
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
