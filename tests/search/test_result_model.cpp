#include "search/search_result_model.h"
#include "support/temp_db.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// A result an index answers is counted at once; one SQLite must scan the table for is counted on
// from the event loop, its first rows listed before. Either way every row is listed, in the
// table's order, and the model stays consistent for its view.
TEST(SearchResultModel, ListsEveryRowInTheTablesOrderCountedAtOnceOrInSlices)
{
    TempDb t;
    t.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                          "INSERT INTO DT (ID, Namae, Val1) SELECT i, 'r' || i, 5000 - i FROM n"));
    for (const bool indexed : {true, false}) {
        SCOPED_TRACE(indexed ? "index" : "scan");
        SearchResultModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.setResult(t.db().openRecordset(indexed
                                                 ? QStringLiteral("SELECT * FROM DT WHERE Val1 >= 0")
                                                 : QStringLiteral("SELECT * FROM DT WHERE Namae LIKE 'r*'")));
        EXPECT_EQ(model.rowCount() == 5000, indexed) << model.rowCount();
        EXPECT_EQ(model.id(0), 1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 5000; }));
        EXPECT_EQ(model.id(4999), 5000);
        EXPECT_EQ(model.data(model.index(2500, 1)).toString(), QStringLiteral("r2501"));
    }
}

} // namespace
