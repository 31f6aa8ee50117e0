#include "lookup/trans.h"

#include "card/info_frm.h"
#include "lookup/help_frm.h"
#include "pages/drawing_frm.h"
#include "shell/startup.h"
#include "support/in_folder.h"
#include "support/modal.h"
#include "support/test_desk.h"
#include "support/zumen_db_tool.h"
#include "text/cp932.h"
#include "tools/working_folder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using namespace zumen;

namespace {

void put(const QString &name, const QByteArray &bytes)
{
    QFile f(QDir::current().filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

bool present(const QString &name)
{
    return QDir::current().entryList(QDir::Files).contains(name);
}

// Fails the test, instead of hanging it, when a modal window opens while it lives.
struct NoModal : QTimer {
    NoModal()
    {
        callOnTimeout([] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "unexpected modal window " << modal->windowTitle().toStdString();
                modal->close();
            }
        });
        start(5);
    }
};

struct Request : ::testing::Test {
    TestDesk d;
    void SetUp() override
    {
        d.exec(QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Str2, Text1) VALUES "
                              "(1, 'one', 'A-100', '歯車', 'm1'), (2, 'two', 'A-100', '表示', 'm2'), "
                              "(3, 'three', 'A-1001', '歯車箱', 'm3'), (4, 'four', 'B,7', 'O''Brien', 'm4'), "
                              "(5, 'five', 'C-5', 'ねじ', 'm5'), (6, 'six', ' ', '図面', 'm6')"));
        d.open(); // the working folder is the current folder from here on
        d.desk().card->Display(6);
    }
    QString shown() { return d.desk().card->ID->text(); }
    void request(const QByteArray &kind, const QByteArray &value)
    {
        put(QString::fromLatin1(kind.trimmed()), value);
        put(QStringLiteral("TRIGGER"), kind);
    }
    // Serves a request whose list the user answers with key after the Downs; gives the list.
    QStringList listed(const QByteArray &kind, const QByteArray &value, int downs, Qt::Key key)
    {
        request(kind, value);
        QStringList codes;
        whenModal([&](QWidget *modal) {
            for (QLabel *label : qobject_cast<Help_frm *>(modal)->hCode)
                if (!label->text().isEmpty())
                    codes << label->text();
            for (int i = 0; i < downs; ++i)
                pressKey(modal, Qt::Key_Down);
            pressKey(modal, key);
        });
        d.desk().checkRequestFile();
        return codes;
    }
};

TEST_F(Request, OneMatchIsShownAtOnceAndBothFilesAreConsumed)
{
    NoModal none;
    request("ZUBAN\r\n", "C-5\r\n");
    d.desk().checkRequestFile();
    EXPECT_EQ(shown(), QStringLiteral("5"));
    EXPECT_EQ(QDir::current().entryList(QDir::Files), QStringList{"QV.MDB"});
    request("HINNAMAE", toCp932(QStringLiteral("\"表示\",ソ"))); // the first field; 0x5C trail bytes
    d.desk().checkRequestFile();
    EXPECT_EQ(shown(), QStringLiteral("2"));
    // The card looks for a request whenever it becomes active.
    request("HINNAMAE", "O'Brien");
    emit d.desk().card->activatedFromProgram();
    EXPECT_EQ(shown(), QStringLiteral("4"));
}

TEST_F(Request, SeveralOrNoExactMatchesListWhatContainsTheValueAndShowThePick)
{
    EXPECT_EQ(listed("ZUBAN", "A-100", 2, Qt::Key_Return), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(shown(), QStringLiteral("3"));
    EXPECT_FALSE(present(QStringLiteral("ZUBAN")));
    EXPECT_EQ(listed("HINNAMAE", toCp932(QStringLiteral("歯")), 0, Qt::Key_Escape), (QStringList{"1", "3"}));
    EXPECT_EQ(shown(), QStringLiteral("3"));
    EXPECT_EQ(listed("ZUBAN", "-10", 0, Qt::Key_Escape), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(listed("ZUBAN", "", 0, Qt::Key_Return).size(), 6);
    EXPECT_EQ(shown(), QStringLiteral("1"));
}

TEST_F(Request, WhatIsNotARequestOrCannotBeReadIsLeftAloneOrDropped)
{
    NoModal none;
    // Only the exact name counts.
    put(QStringLiteral("trigger"), "ZUBAN");
    put(QStringLiteral("ZUBAN"), "C-5");
    d.desk().checkRequestFile();
    EXPECT_TRUE(present(QStringLiteral("trigger")));
    // An unknown kind drops the trigger and leaves the value file.
    for (const QByteArray &kind : {QByteArray("zuban"), QByteArray(""), QByteArray("OTHER")}) {
        put(QStringLiteral("TRIGGER"), kind);
        d.desk().checkRequestFile();
        EXPECT_FALSE(present(QStringLiteral("TRIGGER"))) << kind.constData();
        EXPECT_TRUE(present(QStringLiteral("ZUBAN")));
    }
    // A trigger without its value file is dropped; so is one with a damaged, huge, binary or
    // special file there, and none of them may hang, crash or show a record.
    put(QStringLiteral("TRIGGER"), "HINNAMAE");
    d.desk().checkRequestFile();
    EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
    QFile::remove(QStringLiteral("ZUBAN"));
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 37) & 0xff);
    const std::function<void()> makers[] = {
        [&] { put(QStringLiteral("ZUBAN"), binary); },
        [] { put(QStringLiteral("ZUBAN"), QByteArray("\x82\x20\x81", 3)); }, // a lead byte without a trail
        [] { put(QStringLiteral("ZUBAN"), QByteArray("C-5\0x", 5)); },
        [] { put(QStringLiteral("ZUBAN"), QByteArray(8 * 1024 * 1024, 'A')); },
        [] { put(QStringLiteral("ZUBAN"), QByteArray("\xEF\xBB\xBF") + "C-5"); },
        [] { ::mkfifo("ZUBAN", 0600); },
        [] { QDir().mkdir(QStringLiteral("ZUBAN")); },
        [] { QFile::link(QStringLiteral("/dev/zero"), QStringLiteral("ZUBAN")); },
    };
    for (const auto &make : makers) {
        make();
        put(QStringLiteral("TRIGGER"), "ZUBAN");
        QElapsedTimer clock;
        clock.start();
        d.desk().checkRequestFile();
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
        EXPECT_EQ(shown(), QStringLiteral("6"));
        QDir().rmdir(QStringLiteral("ZUBAN"));
        QFile::remove(QStringLiteral("ZUBAN"));
    }
    put(QStringLiteral("TRIGGER"), binary); // a binary trigger is no kind
    d.desk().checkRequestFile();
    EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
}

TEST(RequestAtStart, APendingRequestIsServedOnceTheWindowsAreUp)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    Database::open(QDir(dir.path()).filePath(QStringLiteral("QV.MDB")))
        .executeNative(
            QStringLiteral("INSERT INTO DT (ID, Namae, Str1) VALUES (1, 'a', 'X'), (2, 'b', 'Y\"1,2''')"));
    InFolder here(dir.path());
    // Written by the tool, with a value its quoting must carry whole.
    ASSERT_EQ(zumenDb({"request", "ZUBAN", "Y\"1,2'", dir.path()}).exitCode, 0);
    EXPECT_EQ(zumenDb({"request", "zuban", "Y", dir.path()}).exitCode, 1);
    EXPECT_EQ(zumenDb({"request", "HINNAMAE", "한글", dir.path()}).exitCode, 1);
    NoModal none;
    std::unique_ptr<Desk> desk =
        StartDesk([](const QString &, const QString &m) { FAIL() << m.toStdString(); });
    ASSERT_NE(desk, nullptr);
    EXPECT_TRUE(desk->viewer->isVisible());
    EXPECT_EQ(desk->card->ID->text(), QStringLiteral("2"));
    EXPECT_FALSE(QFile::exists(QStringLiteral("TRIGGER")));
}

} // namespace
