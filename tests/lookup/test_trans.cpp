#include "lookup/trans.h"
#include "text/request_file.h"

#include "card/info_frm.h"
#include "lookup/help_frm.h"
#include "pages/drawing_frm.h"
#include "shell/startup.h"
#include "support/modal.h"
#include "support/test_desk.h"
#include "support/zumen_db_tool.h"
#include "text/cp932.h"
#include "tools/working_folder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include "support/in_folder.h"

#include <QElapsedTimer>

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
class NoModal {
public:
    NoModal()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "unexpected modal window " << modal->windowTitle().toStdString();
                modal->close();
            }
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

QStringList shownCodes(QWidget *modal)
{
    auto *list = qobject_cast<Help_frm *>(modal);
    QStringList out;
    if (!list)
        return out;
    for (QLabel *label : list->hCode)
        if (!label->text().isEmpty())
            out << label->text();
    return out;
}

struct Request : ::testing::Test {
    TestDesk d;
    std::unique_ptr<InFolder> here;
    void SetUp() override
    {
        d.exec(QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Str2, Text1) VALUES "
                              "(1, 'one', 'A-100', '歯車', 'm1'), (2, 'two', 'A-100', '軸', 'm2'), "
                              "(3, 'three', 'A-1001', '歯車箱', 'm3'), (4, 'four', 'B,7', 'O''Brien', 'm4'), "
                              "(5, 'five', 'C-5', 'ねじ', 'm5'), (6, 'six', ' ', '図面', 'm6')"));
        here = std::make_unique<InFolder>(d.temp().folder());
        d.open();
        d.desk().card->Display(6);
    }
    void TearDown() override { here.reset(); }
    QString shown() { return d.desk().card->ID->text(); }
    void request(const QByteArray &kind, const QByteArray &valueFile, const QByteArray &value)
    {
        put(QString::fromLatin1(valueFile), value);
        put(QStringLiteral("TRIGGER"), kind);
    }
};

TEST_F(Request, OneMatchIsShownAtOnceAndBothFilesAreConsumed)
{
    NoModal none;
    request("ZUBAN\r\n", "ZUBAN", "C-5\r\n");
    d.desk().checkRequestFile();
    EXPECT_EQ(shown(), QStringLiteral("5"));
    EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
    EXPECT_FALSE(present(QStringLiteral("ZUBAN")));

    request("HINNAMAE", "HINNAMAE", toCp932(QStringLiteral("\"軸\"")));
    d.desk().checkRequestFile();
    EXPECT_EQ(shown(), QStringLiteral("2"));

    request("HINNAMAE", "HINNAMAE", "O'Brien");
    d.desk().checkRequestFile();
    EXPECT_EQ(shown(), QStringLiteral("4"));
}

TEST_F(Request, SeveralMatchesOpenTheListAndThePickedRecordIsShown)
{
    request("ZUBAN", "ZUBAN", "A-100");
    QStringList listed;
    whenModal([&](QWidget *modal) {
        listed = shownCodes(modal);
        pressKey(modal, Qt::Key_Down);
        pressKey(modal, Qt::Key_Down);
        pressKey(modal, Qt::Key_Return);
    });
    d.desk().checkRequestFile();
    EXPECT_EQ(listed, (QStringList{"1", "2", "3"}));
    EXPECT_EQ(shown(), QStringLiteral("3"));
    EXPECT_FALSE(present(QStringLiteral("ZUBAN")));

    // Escaping shows nothing new.
    request("HINNAMAE", "HINNAMAE", toCp932(QStringLiteral("歯")));
    whenModal([&](QWidget *modal) {
        listed = shownCodes(modal);
        pressKey(modal, Qt::Key_Escape);
    });
    d.desk().checkRequestFile();
    EXPECT_EQ(listed, (QStringList{"1", "3"}));
    EXPECT_EQ(shown(), QStringLiteral("3"));
}

TEST_F(Request, NoExactMatchOrAnEmptyValueListsWhatContainsIt)
{
    request("ZUBAN", "ZUBAN", "-10");
    QStringList listed;
    whenModal([&](QWidget *modal) {
        listed = shownCodes(modal);
        pressKey(modal, Qt::Key_Escape);
    });
    d.desk().checkRequestFile();
    EXPECT_EQ(listed, (QStringList{"1", "2", "3"}));

    request("ZUBAN", "ZUBAN", "");
    whenModal([&](QWidget *modal) {
        listed = shownCodes(modal);
        pressKey(modal, Qt::Key_Return);
    });
    d.desk().checkRequestFile();
    EXPECT_EQ(listed.size(), 6);
    EXPECT_EQ(shown(), QStringLiteral("1"));
}

TEST_F(Request, WhatIsNotARequestIsLeftAloneOrDropped)
{
    NoModal none;
    // Only the exact name counts.
    request("ZUBAN", "ZUBAN", "C-5");
    QFile::rename(QStringLiteral("TRIGGER"), QStringLiteral("trigger"));
    d.desk().checkRequestFile();
    EXPECT_EQ(shown(), QStringLiteral("6"));
    EXPECT_TRUE(present(QStringLiteral("trigger")));
    EXPECT_TRUE(present(QStringLiteral("ZUBAN")));
    QFile::remove(QStringLiteral("trigger"));

    // An unknown kind drops the trigger and leaves the value file.
    for (const QByteArray &kind : {QByteArray("zuban"), QByteArray(""), QByteArray("OTHER")}) {
        put(QStringLiteral("TRIGGER"), kind);
        d.desk().checkRequestFile();
        EXPECT_FALSE(present(QStringLiteral("TRIGGER"))) << kind.constData();
        EXPECT_TRUE(present(QStringLiteral("ZUBAN")));
    }
    QFile::remove(QStringLiteral("ZUBAN"));

    // A trigger without its value file is dropped.
    put(QStringLiteral("TRIGGER"), "HINNAMAE");
    d.desk().checkRequestFile();
    EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
    EXPECT_EQ(shown(), QStringLiteral("6"));
}

TEST_F(Request, DamagedHugeOrBinaryFilesAreConsumedWithoutHarm)
{
    NoModal none;
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 37) & 0xff);
    const QByteArray huge(8 * 1024 * 1024, 'A');
    const QByteArray badCp932("\x82\x20\x81", 3); // a lead byte without a valid trail
    for (const QByteArray &bytes : {binary, badCp932, QByteArray("C-5\0x", 5), huge}) {
        request("ZUBAN", "ZUBAN", bytes);
        d.desk().checkRequestFile();
        EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
        EXPECT_FALSE(present(QStringLiteral("ZUBAN")));
        EXPECT_EQ(shown(), QStringLiteral("6"));
    }
    // A binary trigger is no kind.
    put(QStringLiteral("TRIGGER"), binary);
    d.desk().checkRequestFile();
    EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
    EXPECT_EQ(shown(), QStringLiteral("6"));
}

TEST_F(Request, TheCardChecksForARequestWhenItBecomesActive)
{
    NoModal none;
    request("ZUBAN", "ZUBAN", "C-5");
    emit d.desk().card->activatedFromProgram();
    EXPECT_EQ(shown(), QStringLiteral("5"));
    EXPECT_FALSE(present(QStringLiteral("TRIGGER")));
}

TEST(RequestField, TheFirstDelimitedFieldInCp932)
{
    auto field = [](const QByteArray &bytes) { return firstField(bytes).value_or(QStringLiteral("<none>")); };
    EXPECT_EQ(field(""), QString());
    EXPECT_EQ(field("  A-1  ,B"), QStringLiteral("A-1"));
    EXPECT_EQ(field("A-1\r\nB"), QStringLiteral("A-1"));
    EXPECT_EQ(field("\" a, \"\"b\"\" \",c"), QStringLiteral(" a, \"b\" "));
    EXPECT_EQ(field("\"unterminated\r\nnext"), QStringLiteral("unterminated"));
    EXPECT_EQ(field("\r\nA"), QString());
    EXPECT_EQ(field(toCp932(QStringLiteral("表示,ソ"))), QStringLiteral("表示")); // 0x5C trail bytes
    EXPECT_EQ(field(QByteArray("\x82", 1)), QStringLiteral("<none>"));
}

int run(const QStringList &args, QString *err = nullptr)
{
    const ToolRun r = zumenDb(args);
    if (err)
        *err = r.err;
    return r.exitCode;
}

TEST_F(Request, RequestsWrittenByTheToolAreServed)
{
    const QString folder = QDir::currentPath();
    d.exec(
        QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Str2) VALUES (7, 'q', 'Q\"1,2''', '十字穴付き')"));
    {
        NoModal none;
        ASSERT_EQ(
            run({QStringLiteral("request"), QStringLiteral("ZUBAN"), QStringLiteral("Q\"1,2'"), folder}), 0);
        EXPECT_TRUE(present(QStringLiteral("TRIGGER")));
        d.desk().checkRequestFile();
        EXPECT_EQ(shown(), QStringLiteral("7"));
        ASSERT_EQ(run({QStringLiteral("request"), QStringLiteral("HINNAMAE"), QStringLiteral("十字穴付き"),
                       folder}),
                  0);
        QFile value(QStringLiteral("HINNAMAE"));
        ASSERT_TRUE(value.open(QIODevice::ReadOnly));
        EXPECT_EQ(value.readAll(), '"' + toCp932(QStringLiteral("十字穴付き")) + "\"\r\n");
        value.close();
        d.desk().card->Display(6);
        d.desk().checkRequestFile();
        EXPECT_EQ(shown(), QStringLiteral("7"));
        EXPECT_EQ(QDir::current().entryList(QDir::Files), QStringList{"QV.MDB"});
    }
    QString err;
    EXPECT_EQ(run({QStringLiteral("request"), QStringLiteral("zuban"), QStringLiteral("A"), folder}, &err),
              1);
    EXPECT_FALSE(err.isEmpty());
    EXPECT_EQ(run({QStringLiteral("request"), QStringLiteral("ZUBAN"), QStringLiteral("한글"), folder}, &err),
              1);
    EXPECT_EQ(QDir::current().entryList(QDir::Files), QStringList{"QV.MDB"});
}

TEST(RequestAtStart, APendingRequestIsServedOnceTheWindowsAreUp)
{
    QTemporaryDir dir;
    WorkingFolder::init(dir.path());
    {
        Database db = Database::open(QDir(dir.path()).filePath(QStringLiteral("QV.MDB")));
        db.executeNative(
            QStringLiteral("INSERT INTO DT (ID, Namae, Str1) VALUES (1, 'a', 'X'), (2, 'b', 'Y')"));
        db.close();
    }
    InFolder here(dir.path());
    ASSERT_TRUE(writeRequest(dir.path(), QStringLiteral("ZUBAN"), QStringLiteral("Y")));
    NoModal none;
    std::unique_ptr<Desk> desk =
        StartDesk([](const QString &, const QString &m) { FAIL() << m.toStdString(); });
    ASSERT_NE(desk, nullptr);
    EXPECT_TRUE(desk->viewer->isVisible());
    EXPECT_EQ(desk->card->ID->text(), QStringLiteral("2"));
    EXPECT_FALSE(QFile::exists(QStringLiteral("TRIGGER")));
}

// Special files where a request's value should be: none may hang, crash or show a record.
TEST_F(Request, SpecialFilesInPlaceOfTheValueChangeNothing)
{
    NoModal none;
    const std::function<void()> makers[] = {
        [] { ::mkfifo("ZUBAN", 0600); },
        [] { QDir().mkdir(QStringLiteral("ZUBAN")); },
        [] { QFile::link(QStringLiteral("/dev/zero"), QStringLiteral("ZUBAN")); },
        [] { put(QStringLiteral("ZUBAN"), QByteArray("\xEF\xBB\xBF") + "C-5"); },
        [] { put(QStringLiteral("ZUBAN"), QByteArray(4097, 'A')); },
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
}

} // namespace
