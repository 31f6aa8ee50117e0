#include "card/info_frm.h"
#include "db/db_error.h"
#include "db/folders.h"
#include "db/record_store.h"
#include "db/schema.h"
#include "shell/desk.h"
#include "shell/startup.h"
#include "support/in_folder.h"
#include "support/modal.h"
#include "support/pg_server.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

void writeFile(const QString &path, const QString &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

// Start-up in the current folder: the desk, or the message it ended with.
std::unique_ptr<Desk> start(QString *failure = nullptr)
{
    return StartDesk([failure](const QString &, const QString &m) {
        if (failure)
            *failure = m;
        else
            ADD_FAILURE() << m.toStdString();
    });
}

// A working folder naming a server opens the archive there, with none of the file's checks;
// what cannot be opened safely is refused with a message that names the reason and no password.
TEST(SharedDesk, AServerFolderOpensItsArchiveAndRefusesWhatCannotBeOpenedSafely)
{
    ZUMEN_REQUIRE_SERVER();
    ScratchDatabase server;
    {
        Database db = Database::connect(server.conninfo());
        Schema::create(db);
        db.executeNative(QStringLiteral("INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES "
                                        "(0, 'S', 1, '図番', ' ')"));
        db.executeNative(QStringLiteral("INSERT INTO DT (ID, Namae, Str1) VALUES (4, 'four', 'A4-1')"));
    }
    QTemporaryDir dir;
    InFolder here(dir.path());
    const QString file = dir.filePath(WorkingFolder::ServerFile);
    writeFile(file, QStringLiteral("# the drawing office's archive\n\n") + server.conninfo() + u'\n');
    {
        std::unique_ptr<Desk> desk = start();
        ASSERT_TRUE(desk);
        desk->card->Display(4);
        EXPECT_EQ(desk->card->eNamae->text(), QStringLiteral("four"));
        EXPECT_EQ(desk->db.dialect(), Dialect::PostgreSQL);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(WorkingFolder::DatabaseFile))); // no file made beside it

    const struct {
        QString server;
        const char *says;
    } refused[] = {
        {server.conninfo() + QStringLiteral(" password=s3cret"), "パスワード"},
        {QStringLiteral("# nothing but a comment\n"), "接続文字列がありません"},
        {QStringLiteral("host=/nonexistent/socket dbname=zumen"), "3151"},
        {server.conninfo() + QStringLiteral(" dbname=zumen_no_such_archive"), "3024"},
    };
    for (const auto &r : refused) {
        writeFile(file, r.server);
        QString failure;
        EXPECT_FALSE(start(&failure));
        EXPECT_TRUE(failure.contains(QString::fromUtf8(r.says))) << failure.toStdString();
        EXPECT_FALSE(failure.contains(QStringLiteral("s3cret")));
    }

    // An empty database, and a folder holding both kinds: which archive is meant is not guessed.
    ScratchDatabase empty;
    writeFile(file, empty.conninfo());
    QString failure;
    EXPECT_FALSE(start(&failure));
    EXPECT_TRUE(failure.contains(QStringLiteral("空です"))) << failure.toStdString();
    writeFile(file, server.conninfo());
    writeFile(dir.filePath(WorkingFolder::DatabaseFile), QString());
    EXPECT_FALSE(start(&failure));
    EXPECT_TRUE(failure.contains(QStringLiteral("両方"))) << failure.toStdString();
}

// A role that may only read browses as any other; changing is refused at the first step, in
// plain words, and closing leaves no error behind.
TEST(SharedDesk, AReadingRoleIsRefusedChangesAtOnceAndClosesQuietly)
{
    ZUMEN_REQUIRE_SERVER();
    const QString role = QStringLiteral("zumen_reader_%1").arg(QCoreApplication::applicationPid());
    {
        ScratchDatabase server;
        {
            Database db = Database::connect(server.conninfo());
            Schema::create(db);
            db.executeNative(QStringLiteral("INSERT INTO DT (ID, Namae) VALUES (1, 'one')"));
            db.executeNative(QStringLiteral("DROP ROLE IF EXISTS ") + role);
            db.executeNative(QStringLiteral("CREATE ROLE %1 LOGIN").arg(role));
            db.executeNative(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ") + role);
        }
        QTemporaryDir dir;
        InFolder here(dir.path());
        writeFile(dir.filePath(WorkingFolder::ServerFile),
                  server.conninfo() + QStringLiteral(" user=") + role);
        AlertAnswerer alerts;
        {
            std::unique_ptr<Desk> desk = start();
            ASSERT_TRUE(desk);
            EXPECT_TRUE(desk->db.readOnly());
            desk->card->Display(1);
            QTest::mouseClick(desk->card->Command[4], Qt::LeftButton); // 修正
            ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }));
            EXPECT_TRUE(alerts.texts()[0].startsWith(QStringLiteral("3033\r")))
                << alerts.texts()[0].toStdString();
            EXPECT_EQ(desk->card->session().mode, CardSession::Mode::View);
        }
        QTest::qWait(50);
        EXPECT_EQ(alerts.texts().size(), 1); // the windows' places are not written on close
    }
    Database admin = Database::connect(*testServer());
    admin.executeNative(QStringLiteral("DROP ROLE IF EXISTS ") + role);
}

} // namespace
