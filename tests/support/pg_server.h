#pragma once

#include "db/database.h"

#include <QString>

#include <gtest/gtest.h>

#include <optional>

// The test server ./test.sh starts (scripts/pg-cluster.sh): its connection string is in
// ZUMEN_TEST_PG. Without one, tests that need it are skipped with the reason, never silently.
std::optional<QString> testServer();
QString serverSkipReason();

#define ZUMEN_REQUIRE_SERVER()                                                                               \
    do {                                                                                                     \
        if (!testServer())                                                                                   \
            GTEST_SKIP() << serverSkipReason().toStdString();                                                \
    } while (false)

// A database of its own on the test server, dropped at the end: UTF-8, texts sorted by code
// point, C.UTF-8 character classes, as the README asks of a shared archive's database.
class ScratchDatabase {
public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;
    // A connection string for it, as a working folder's QV.SERVER would hold.
    QString conninfo() const { return m_conninfo; }
    QString name() const { return m_name; }

private:
    QString m_name;
    QString m_conninfo;
};

// Parameter names for tests run on each engine: "SQLite", "PostgreSQL".
std::string engineName(zumen::Dialect dialect);
inline std::string engineParamName(const ::testing::TestParamInfo<zumen::Dialect> &info)
{
    return engineName(info.param);
}
