#include "lookup/trans.h"

#include "card/info_frm.h"
#include "lookup/help_frm.h"
#include "pages/drawing_frm.h"
#include "shell/startup.h"
#include "support/in_folder.h"
#include "support/modal.h"
#include "support/page_files.h"
#include "support/test_desk.h"
#include "support/zumen_db_tool.h"
#include "text/cp932.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using namespace zumen;

namespace {

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
        writeBytes(QString::fromLatin1(kind.trimmed()), value);
        writeBytes(QStringLiteral("TRIGGER"), kind);
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
    writeBytes(QStringLiteral("trigger"), "ZUBAN");
    writeBytes(QStringLiteral("ZUBAN"), "C-5");
    d.desk().checkRequestFile();
    EXPECT_TRUE(present(QStringLiteral("trigger")));
    // An unknown kind drops the trigger and leaves the value file.
    for (const QByteArray &kind : {QByteArray("zuban"), QByteArray(""), QByteArray("OTHER")}) {
        writeBytes(QStringLiteral("TRIGGER"), kind);
        d.desk().checkRequestFile();
        EXPECT_FALSE(present(QStringLiteral("TRIGGER"))) << kind.constData();
        EXPECT_TRUE(present(QStringLiteral("ZUBAN")));
    }
    // A trigger without its value file is dropped; so is one with a damaged, huge, binary or
    // special file there, and none of them may hang (a hang fails on the test's time limit),
    // crash or show a record.
    writeBytes(QStringLiteral("TRIGGER"), "HINNAMAE");
    d.desk().checkRequestFile();
    EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
    QFile::remove(QStringLiteral("ZUBAN"));
    const std::function<void()> makers[] = {
        // A lead byte without its trail, and a value that is binary from its fourth byte on.
        [] { writeBytes(QStringLiteral("ZUBAN"), QByteArray("\x82\x20\x81", 3)); },
        [] { writeBytes(QStringLiteral("ZUBAN"), QByteArray("C-5\0x", 5)); },
        [] { writeBytes(QStringLiteral("ZUBAN"), QByteArray(8 * 1024 * 1024, 'A')); },
        [] { ::mkfifo("ZUBAN", 0600); },
        [] { QFile::link(QStringLiteral("/dev/zero"), QStringLiteral("ZUBAN")); },
    };
    for (const auto &make : makers) {
        make();
        writeBytes(QStringLiteral("TRIGGER"), "ZUBAN");
        d.desk().checkRequestFile();
        EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
        EXPECT_EQ(shown(), QStringLiteral("6"));
        QFile::remove(QStringLiteral("ZUBAN"));
    }
}

TEST(RequestAtStart, APendingRequestIsServedOnceTheWindowsAreUp)
{
    TempDb t;
    t.exec(QStringLiteral("INSERT INTO DT (ID, Namae, Str1) VALUES (1, 'a', 'X'), (2, 'b', 'Y\"1,2''')"));
    InFolder here(t.folder());
    // Written by the tool, with a value its quoting must carry whole.
    ASSERT_EQ(zumenDb({"request", "ZUBAN", "Y\"1,2'", t.folder()}).exitCode, 0);
    EXPECT_EQ(zumenDb({"request", "zuban", "Y", t.folder()}).exitCode, 1);
    EXPECT_EQ(zumenDb({"request", "HINNAMAE", "한글", t.folder()}).exitCode, 1);
    NoModal none;
    // Served by the start itself, not left for the card to become active.
    std::unique_ptr<Desk> desk =
        StartDesk([](const QString &, const QString &m) { FAIL() << m.toStdString(); });
    ASSERT_NE(desk, nullptr);
    EXPECT_TRUE(desk->viewer->isVisible());
    EXPECT_EQ(desk->card->ID->text(), QStringLiteral("2"));
    EXPECT_FALSE(QFile::exists(QStringLiteral("TRIGGER")));
}

} // namespace
