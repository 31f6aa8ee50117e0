#include "shell/app_log.h"
#include "shell/command_line.h"
#include "shell/folder_chooser.h"
#include "shell/recent_folders.h"
#include "shell/startup.h"
#include "support/in_folder.h"
#include "support/modal.h"
#include "support/page_files.h"
#include "text/log.h"
#include "tools/working_folder.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// A folder that looks like a working folder to everything that only asks whether QV.MDB is there.
QString folderWithDatabase(const QTemporaryDir &root, const QString &name)
{
    const QString folder = QDir(root.path()).filePath(name);
    QDir().mkpath(folder);
    QFile(QDir(folder).filePath(QStringLiteral("QV.MDB"))).open(QIODevice::WriteOnly);
    return QFileInfo(folder).canonicalFilePath();
}

// Records the next message box's text and closes it with Enter.
void answerMessageBox(QString &text)
{
    whenModal([&text](QWidget *box) {
        text += box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))->text();
        pressKey(box, Qt::Key_Return);
    });
}

QStringList lines(const QString &path)
{
    return QString::fromUtf8(fileBytes(path)).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(RecentFolders, LatestFirstOnceEachAtMostTenAndOnlyThoseWithTheirDatabase)
{
    QTemporaryDir root;
    const QString settingsFile = QDir(root.path()).filePath(QStringLiteral("zumen.conf"));
    QSettings settings(settingsFile, QSettings::IniFormat);
    RecentFolders recent(settings);
    const QString a = folderWithDatabase(root, QStringLiteral("a")),
                  b = folderWithDatabase(root, QStringLiteral("b"));
    ASSERT_TRUE(QFile::link(b, QDir(root.path()).filePath(QStringLiteral("link"))));
    recent.add(a);
    recent.add(b);
    recent.add(b + QStringLiteral("/../a/"));
    EXPECT_EQ(recent.folders(), (QStringList{a, b}));
    recent.add(QDir(root.path()).filePath(QStringLiteral("link")));
    EXPECT_EQ(recent.folders(), (QStringList{b, a}));

    for (int i = 0; i < 10; ++i)
        recent.add(folderWithDatabase(root, QStringLiteral("f%1").arg(i)));
    QStringList expected = recent.folders();
    EXPECT_EQ(expected.size(), RecentFolders::Max);
    EXPECT_EQ(expected.first(), QDir(root.path()).filePath(QStringLiteral("f9")));
    EXPECT_FALSE(expected.contains(a));

    // A folder whose database went is not offered; the list survives the program.
    QFile::remove(QDir(expected[1]).filePath(QStringLiteral("QV.MDB")));
    expected.removeAt(1);
    QSettings again(settingsFile, QSettings::IniFormat);
    EXPECT_EQ(RecentFolders(again).folders(), expected);
}

TEST(CommandLine, ZumenOpensTheFolderItIsGivenRemembersItAndLogsIt)
{
    QTemporaryDir home;
    const QString folder = QDir(home.path()).filePath(QStringLiteral("図面"));
    WorkingFolder::init(folder);
    QProcess zumen;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    zumen.setProcessEnvironment(env);
    zumen.setWorkingDirectory(home.path());

    zumen.start(QStringLiteral(ZUMEN_PROGRAM), {QStringLiteral("--version")});
    ASSERT_TRUE(zumen.waitForFinished(60000));
    EXPECT_EQ(zumen.readAllStandardOutput().trimmed(), QByteArray("zumen 0.1"));
    zumen.start(QStringLiteral(ZUMEN_PROGRAM), {folder, folder});
    ASSERT_TRUE(zumen.waitForFinished(60000));
    EXPECT_EQ(zumen.exitCode(), 2);

    // Open once it remembers the folder: the desk is up by then.
    zumen.start(QStringLiteral(ZUMEN_PROGRAM), {folder});
    const QString opened = QFileInfo(folder).canonicalFilePath();
    const QString settings = home.filePath(QStringLiteral("config/zumen/zumen.conf"));
    for (int waited = 0; waited < 120 && !QFile::exists(settings); ++waited)
        QTest::qWait(500);
    EXPECT_EQ(zumen.state(), QProcess::Running) << zumen.readAllStandardError().toStdString();
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(DeskRun::OpenMarker)));
    zumen.kill();
    zumen.waitForFinished();
    EXPECT_EQ(QSettings(settings, QSettings::IniFormat).value(QStringLiteral("recentFolders")).toStringList(),
              QStringList{opened});
    const QStringList log = lines(home.filePath(QStringLiteral("state/zumen/zumen.log")));
    EXPECT_FALSE(log.filter(QStringLiteral("info zumen.start: zumen 0.1")).filter(opened).isEmpty())
        << log.join(u'\n').toStdString();
}

TEST(CommandLine, AFolderThatIsNoWorkingFolderIsRefusedAndNothingMadeThere)
{
    QTemporaryDir root, config;
    QSettings settings(config.filePath(QStringLiteral("zumen.conf")), QSettings::IniFormat);
    const RecentFolders recent(settings);
    const QString missing = root.filePath(QStringLiteral("missing"));
    InFolder here(root.path());
    for (const QString &folder : {root.path(), missing}) {
        QString text;
        answerMessageBox(text);
        EXPECT_EQ(enterWorkingFolder({QStringLiteral("zumen"), folder}, recent), 1);
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(folder))) << text.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_TRUE(QDir(root.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    EXPECT_EQ(QDir::currentPath(), root.path());
}

namespace {

// Answers the folder dialog the chooser opens with the folder typed in; with refusal, the
// message box that follows too.
void answerFolderDialog(const QString &folder, QString *refusal = nullptr)
{
    whenModal([folder, refusal](QWidget *dialog) {
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setFocus();
        name->setText(folder);
        if (refusal)
            answerMessageBox(*refusal);
        pressKey(dialog, Qt::Key_Return);
    });
}

} // namespace

TEST(FolderChooser, OpensARecentFolderByKeysOrDoubleClickAndMakesOnlyNewOnes)
{
    QTemporaryDir root;
    const QString a = folderWithDatabase(root, QStringLiteral("a")),
                  b = folderWithDatabase(root, QStringLiteral("b"));
    QSettings settings(root.filePath(QStringLiteral("zumen.conf")), QSettings::IniFormat);
    RecentFolders recent(settings);
    recent.add(b);
    recent.add(a);
    const QStringList choose{QStringLiteral("zumen"), QStringLiteral("--choose")};
    InFolder here(root.path());

    whenModal([](QWidget *chooser) {
        EXPECT_EQ(chooser->windowTitle(), QStringLiteral("作業フォルダの選択"));
        pressKey(chooser, Qt::Key_Down);
        pressKey(chooser, Qt::Key_Return);
    });
    EXPECT_EQ(enterWorkingFolder(choose, recent), std::nullopt);
    EXPECT_EQ(QDir::currentPath(), b);

    whenModal([](QWidget *chooser) {
        auto *list = chooser->findChild<QListWidget *>(QStringLiteral("lstRecent"));
        const QPoint at = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at); // a double-click's first press
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    });
    EXPECT_EQ(enterWorkingFolder(choose, recent), std::nullopt);
    EXPECT_EQ(QDir::currentPath(), a);

    // A folder already holding a database is not made anew, and one without is not opened;
    // the chooser stays for another try, and cancelled ends the program quietly.
    QString refusals;
    whenModal([&](QWidget *chooser) {
        for (const QString &button : {QStringLiteral("cmdNew"), QStringLiteral("cmdBrowse")}) {
            answerFolderDialog(button == QLatin1String("cmdNew") ? a : root.path(), &refusals);
            QTest::mouseClick(chooser->findChild<QPushButton *>(button), Qt::LeftButton);
        }
        EXPECT_TRUE(chooser->isVisible());
        QTest::mouseClick(chooser->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    });
    EXPECT_EQ(enterWorkingFolder(choose, recent), 0);
    EXPECT_TRUE(refusals.contains(QStringLiteral("にはもう QV.MDB があります"))) << refusals.toStdString();
    EXPECT_TRUE(refusals.contains(QStringLiteral("は作業フォルダではありません"))) << refusals.toStdString();
    EXPECT_EQ(QFileInfo(QDir(a).filePath(QStringLiteral("QV.MDB"))).size(), 0);

    const QString fresh = root.filePath(QStringLiteral("new"));
    QDir().mkpath(fresh);
    whenModal([&](QWidget *chooser) {
        answerFolderDialog(fresh);
        QTest::mouseClick(chooser->findChild<QPushButton *>(QStringLiteral("cmdNew")), Qt::LeftButton);
    });
    EXPECT_EQ(enterWorkingFolder(choose, recent), std::nullopt);
    EXPECT_EQ(QDir::currentPath(), QFileInfo(fresh).canonicalFilePath());
    EXPECT_TRUE(WorkingFolder::check(fresh).isEmpty());
}

namespace {

QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured << message;
}

} // namespace

TEST(AppLog, RotatesAtItsLimitKeepingThreeAndNeverStopsTheProgram)
{
    QTemporaryDir dir;
    const QtMessageHandler before = qInstallMessageHandler(capture);
    {
        AppLog log(dir.path(), 200);
        qCWarning(logScan) << "warned";
        qCDebug(logStart) << "debug is off";
        for (int i = 0; i < 40; ++i)
            qCInfo(logStart) << "message" << i;
    }
    // Warnings still reach the handler before, information stays in the log.
    EXPECT_EQ(captured, QStringList{QStringLiteral("warned")});
    const QString path = dir.filePath(QStringLiteral("zumen.log"));
    const QStringList newest = lines(path), older = lines(path + QStringLiteral(".1"));
    ASSERT_FALSE(newest.isEmpty());
    ASSERT_FALSE(older.isEmpty());
    EXPECT_TRUE(newest.last().endsWith(QStringLiteral(" info zumen.start: message 39")))
        << newest.last().toStdString();
    // The rotated files follow on one from the other.
    const int first = newest.first().section(u' ', -1).toInt();
    EXPECT_TRUE(older.last().endsWith(QStringLiteral("message %1").arg(first - 1)))
        << older.last().toStdString();
    for (const QString &suffix :
         {QString(), QStringLiteral(".1"), QStringLiteral(".2"), QStringLiteral(".3")})
        EXPECT_LE(QFileInfo(path + suffix).size(), 200);
    EXPECT_TRUE(QFile::exists(path + QStringLiteral(".3")));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".4")));

    // Below a file, where no folder can be made.
    captured.clear();
    {
        AppLog log(dir.filePath(QStringLiteral("zumen.log/zumen")));
        qCWarning(logStart) << "still here";
    }
    EXPECT_EQ(captured, QStringList{QStringLiteral("still here")});
    qInstallMessageHandler(before);
}
