#include "shell/folder_chooser.h"

#include "db/folders.h"
#include "shell/recent_folders.h"
#include "text/log.h"
#include "tools/working_folder.h"
#include "widgets/ui.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace zumen {

FolderChooser::FolderChooser(const QStringList &recent, QWidget *parent)
    : QDialog(parent), m_list(new QListWidget), m_open(new QPushButton(QStringLiteral("開く")))
{
    setWindowTitle(QStringLiteral("作業フォルダの選択"));
    auto *caption = new QLabel(QStringLiteral("最近の作業フォルダ(&R):"));
    caption->setBuddy(m_list);
    m_list->addItems(recent);
    m_list->setCurrentRow(0);
    nameControl(*m_list, QStringLiteral("lstRecent"), QStringLiteral("最近の作業フォルダ"));

    auto *browseButton = new QPushButton(QStringLiteral("参照…"));
    auto *newButton = new QPushButton(QStringLiteral("新しい作業フォルダ…"));
    auto *cancel = new QPushButton(QStringLiteral("キャンセル"));
    nameControl(*m_open, QStringLiteral("cmdOpen"), m_open->text());
    nameControl(*browseButton, QStringLiteral("cmdBrowse"), browseButton->text());
    nameControl(*newButton, QStringLiteral("cmdNew"), newButton->text());
    nameControl(*cancel, QStringLiteral("cmdCancel"), cancel->text());
    // Enter anywhere but on another button opens the selected folder.
    m_open->setDefault(true);
    m_open->setEnabled(!recent.isEmpty());

    auto *buttons = new QVBoxLayout;
    for (QPushButton *button : {m_open, browseButton, newButton, cancel})
        buttons->addWidget(button);
    buttons->addStretch();
    auto *listColumn = new QVBoxLayout;
    listColumn->addWidget(caption);
    listColumn->addWidget(m_list);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(listColumn, 1);
    layout->addLayout(buttons);
    resize(560, 300);

    connect(m_open, &QPushButton::clicked, this, &FolderChooser::openSelected);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &FolderChooser::openSelected);
    connect(browseButton, &QPushButton::clicked, this, &FolderChooser::browse);
    connect(newButton, &QPushButton::clicked, this, &FolderChooser::makeNew);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (recent.isEmpty())
        browseButton->setFocus();
}

void FolderChooser::openSelected()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    // The folder may have gone since the list was made.
    if (!isWorkingFolder(item->text())) {
        refuse(QStringLiteral("'%1' に QV.MDB も QV.SERVER もありません。").arg(item->text()));
        return;
    }
    m_folder = item->text();
    accept();
}

void FolderChooser::browse()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("作業フォルダを開く"));
    if (folder.isEmpty())
        return;
    if (!isWorkingFolder(folder)) {
        refuse(QStringLiteral("'%1' は作業フォルダではありません (QV.MDB も QV.SERVER もありません)。\r"
                              "新しく作るときは「新しい作業フォルダ…」を使ってください。")
                   .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    m_folder = folder;
    accept();
}

void FolderChooser::makeNew()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("新しい作業フォルダを作るフォルダ"));
    if (folder.isEmpty())
        return;
    // A new folder never takes the place of an existing database, not even an empty one.
    if (QFileInfo::exists(QDir(folder).filePath(WorkingFolder::DatabaseFile))) {
        refuse(QStringLiteral("'%1' にはもう QV.MDB があります。\r開くときは「参照…」を使ってください。")
                   .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    try {
        WorkingFolder::init(folder);
    } catch (const std::exception &e) {
        qCWarning(logStart) << "new working folder" << folder << "failed:" << e.what();
        refuse(QString::fromStdString(e.what()));
        return;
    }
    qCInfo(logStart) << "new working folder" << folder;
    m_folder = folder;
    accept();
}

void FolderChooser::refuse(const QString &text)
{
    QMessageBox::warning(this, windowTitle(), displayText(text));
}

} // namespace zumen
