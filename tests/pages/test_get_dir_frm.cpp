#include "pages/get_dir_frm.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

TEST(GetDir, TheWindowShowsTheFolderItIsInAndSpeaksIt)
{
    QTemporaryDir dir;
    const QString files = QDir(dir.path()).filePath(QStringLiteral("files"));
    QDir(files).mkpath(QStringLiteral("図面"));
    GetDir_frm window(files);
    const auto found = window.Dir1->findItems(QStringLiteral("図面"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    window.Dir1->setCurrentItem(found[0]);
    QTest::keyClick(window.Dir1, Qt::Key_Return);
    const QString inside = QDir::toNativeSeparators(QDir(files).filePath(QStringLiteral("図面")));
    EXPECT_EQ(window.FolderPath->text(), inside);
    EXPECT_EQ(window.FolderPath->accessibleName(), QStringLiteral("ファイルの場所 ") + inside);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("画像の取得")); // the caption stays put

    // Pages come from images and PDFs, whatever the case of their extension; nothing else is listed.
    for (const char *name : {"a.PDF", "b.png", "c.txt", "d.jpg", "e.pdf.bak"})
        QFile(QDir(files).filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    window.setPath(files);
    QStringList listed;
    for (int i = 0; i < window.File1->count(); ++i)
        listed << window.File1->item(i)->text();
    EXPECT_EQ(listed,
              (QStringList{QStringLiteral("a.PDF"), QStringLiteral("b.png"), QStringLiteral("d.jpg")}));
}
