#include "db/options_store.h"
#include "support/temp_db.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

QStringList rows(TempDb &t)
{
    QStringList found;
    Statement query = t.db().prepare(QStringLiteral("SELECT Code, Contents FROM UserOP ORDER BY rowid"));
    while (query.step())
        found << QStringLiteral("%1=%2").arg(query.column(0).toInteger()).arg(query.column(1).toString());
    return found;
}

TEST(OptionsStore, WriteAddsOrRewritesOneRowAndReadTrims)
{
    TempDb t;
    OptionsStore options(t.db());
    EXPECT_EQ(options.find(13), std::nullopt);
    EXPECT_EQ(options.read(13), QString());
    options.write(13, QStringLiteral(" device "));
    options.write(14, QString());
    options.write(13, QStringLiteral("other"));
    EXPECT_EQ(rows(t), (QStringList{QStringLiteral("13=other"), QStringLiteral("14= ")}));
    EXPECT_EQ(options.read(14), QString());
    t.exec(QStringLiteral("INSERT INTO UserOP (Code, Contents) VALUES (15, NULL)"));
    EXPECT_EQ(options.find(15), QString());

    EXPECT_EQ(options.viewerZoom(), std::nullopt);
    options.writeViewerZoom(150);
    EXPECT_EQ(options.viewerZoom(), 150);
    options.write(OptionCode::ViewerZoom, QStringLiteral("big"));
    EXPECT_EQ(options.viewerZoom(), std::nullopt);
}

TEST(OptionsStore, FoldersInsideTheWorkingFolderAreStoredRelativeAndReadAbsolute)
{
    TempDb t;
    OptionsStore options(t.db());
    const QString working = QDir(t.folder()).absolutePath();
    EXPECT_EQ(options.folder(OptionCode::ScanFolder), std::nullopt);
    options.writeFolders(QStringLiteral(" ") + working + QStringLiteral("/scan "),
                         QStringLiteral("/elsewhere/files"));
    EXPECT_EQ(options.read(OptionCode::ScanFolder), QStringLiteral("scan"));
    EXPECT_EQ(options.folder(OptionCode::ScanFolder), working + QStringLiteral("/scan"));
    EXPECT_EQ(options.folder(OptionCode::FileFolder), QStringLiteral("/elsewhere/files"));
    options.writeFolders(QString(), QString());
    EXPECT_EQ(options.find(OptionCode::ScanFolder), QStringLiteral(" "));
    EXPECT_EQ(rows(t).size(), 2);

    // Both or neither.
    t.exec(QStringLiteral("CREATE TRIGGER no_12 BEFORE UPDATE ON UserOP WHEN NEW.Code=12 "
                          "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    EXPECT_THROW(options.writeFolders(QStringLiteral("/a"), QStringLiteral("/b")), std::exception);
    EXPECT_EQ(options.find(OptionCode::ScanFolder), QStringLiteral(" "));
}

} // namespace
