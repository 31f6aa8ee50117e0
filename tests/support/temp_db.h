#pragma once

#include "db/database.h"

#include <QTemporaryDir>

#include <memory>

#include "support/pg_server.h"

// A fresh folder and an archive with every table and no rows: a QV.MDB in the folder, or a
// database of its own on the test server. Without a server, a file stands in for the server's
// archive: a test on each engine skips in its SetUp (ZUMEN_REQUIRE_ENGINE) before using it.
class TempDb {
public:
    explicit TempDb(zumen::Dialect dialect = zumen::Dialect::SQLite);
    ~TempDb();
    QString path() const { return m_dir.filePath(QStringLiteral("QV.MDB")); }
    QString folder() const { return m_dir.path(); }
    zumen::Database &db() { return m_db; }
    // The server archive's connection string; empty for a file.
    QString conninfo() const;
    // Runs text of the engine's own (SQLite's text is understood on the server too): for
    // setting up rows a test needs.
    void exec(const QString &sql) { m_db.executeNative(sql); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ScratchDatabase> m_server;
    zumen::Database m_db;
};

// Skips a test on an engine the machine cannot run, saying why.
#define ZUMEN_REQUIRE_ENGINE(dialect)                                                                        \
    do {                                                                                                     \
        if ((dialect) == zumen::Dialect::PostgreSQL && !testServer())                                        \
            GTEST_SKIP() << serverSkipReason().toStdString();                                                \
    } while (false)
