#include "pages/get_dir_frm.h"

#include "dialogs/alert_frm.h"
#include "widgets/ui.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>

namespace zumen {
namespace {

const QString Parent = QStringLiteral("..");

// There are no drive letters here: the mount points stand in for them, with the file
// system root and the home folder always present.
QStringList mountPoints()
{
    QStringList points{QStringLiteral("/"), QDir::homePath()};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !points.contains(volume.rootPath()))
            points << volume.rootPath();
    }
    points.sort();
    return points;
}

// The mount point a folder lies on: the longest one that contains it.
QString driveOf(const QString &folder, const QStringList &points)
{
    QString best = QStringLiteral("/");
    for (const QString &p : points) {
        const bool inside = folder == p || folder.startsWith(p.endsWith(u'/') ? p : p + u'/');
        if (inside && p.size() > best.size())
            best = p;
    }
    return best;
}

} // namespace

GetDir_frm::GetDir_frm(const QString &fileFolder, QWidget *parent)
    : QDialog(parent), m_root(fileFolder.trimmed())
{
    setWindowTitle(QStringLiteral("画像の取得"));
    nameControl(*this, QStringLiteral("GetDir_frm"), QStringLiteral("画像の取得"));
    resize(twipsToPixels(7800), twipsToPixels(5200));
    const QFont font = windowFont(ProportionalGothic, 10);

    Label1 = new QLabel(QStringLiteral("ファイルの場所"));
    nameControl(*Label1, QStringLiteral("Label1"), Label1->text());
    FolderPath = new QLabel;
    nameControl(*FolderPath, QStringLiteral("FolderPath"));
    // Long paths wrap at their separators rather than widen the window.
    FolderPath->setWordWrap(true);
    FolderPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Drive1 = new QComboBox;
    nameControl(*Drive1, QStringLiteral("Drive1"), QStringLiteral("ドライブ"));
    Drive1->addItems(mountPoints());
    Dir1 = new QListWidget;
    nameControl(*Dir1, QStringLiteral("Dir1"), QStringLiteral("ファイルの場所"));
    File1 = new QListWidget;
    nameControl(*File1, QStringLiteral("File1"), QStringLiteral("ファイル"));
    static const char *const captions[] = {"取り込む", "取り消し"};
    for (int i = 0; i < 2; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(captions[i]));
        nameControl(*button, QStringLiteral("Command(%1)").arg(i), button->text());
        button->setAutoDefault(false);
        Command[static_cast<std::size_t>(i)] = button;
    }
    for (QWidget *w :
         {static_cast<QWidget *>(Label1), static_cast<QWidget *>(FolderPath), static_cast<QWidget *>(Drive1),
          static_cast<QWidget *>(Dir1), static_cast<QWidget *>(File1)})
        w->setFont(font);

    auto *grid = new QGridLayout(this);
    grid->addWidget(FolderPath, 0, 0, 1, 2);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(Drive1, 2, 0);
    grid->addWidget(Dir1, 3, 0);
    grid->addWidget(File1, 1, 1, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command[0]);
    buttons->addWidget(Command[1]);
    grid->addLayout(buttons, 4, 0, 1, 2);

    connect(Drive1, &QComboBox::textActivated, this, &GetDir_frm::setDrive);
    connect(Dir1, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        setPath(item->text() == Parent ? QDir::cleanPath(m_path + QStringLiteral("/.."))
                                       : QDir(m_path).filePath(item->text()));
    });
    connect(File1, &QListWidget::itemActivated, this, &GetDir_frm::takeIn);
    connect(Command[0], &QPushButton::clicked, this, &GetDir_frm::takeIn);
    connect(Command[1], &QPushButton::clicked, this, &GetDir_frm::cancel);

    // The lists open on the file data folder and its drive.
    const QString start = m_root.isEmpty() ? QDir::homePath() : m_root;
    const QString drive = driveOf(QDir::cleanPath(start), mountPoints());
    Drive1->setCurrentText(drive);
    setPath(start);
}

void GetDir_frm::setDrive(const QString &mountPoint)
{
    setPath(mountPoint);
}

void GetDir_frm::setPath(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return;
    m_path = QDir::cleanPath(dir.absolutePath());
    setLabelText(*FolderPath, QDir::toNativeSeparators(m_path), Label1->text());
    Dir1->clear();
    if (!dir.isRoot())
        Dir1->addItem(Parent);
    Dir1->addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
    File1->clear();
    QDir files(m_path);
    // A PDF (from CAD, say) comes in as one page per PDF page.
    files.setNameFilters({QStringLiteral("*.jpg"), QStringLiteral("*.tif"), QStringLiteral("*.bmp"),
                          QStringLiteral("*.png"), QStringLiteral("*.pdf")});
    // Name filters ignore case: files from other systems often carry upper-case extensions.
    File1->addItems(files.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void GetDir_frm::takeIn()
{
    const QString root = QDir::cleanPath(m_root);
    // The folder must be the file data folder or lie below it; a mere text prefix
    // ("/img2" under "/img") would record a file that is not where the record says.
    const bool inside =
        !root.isEmpty() && (m_path == root || m_path.startsWith(root.endsWith(u'/') ? root : root + u'/'));
    if (!inside) {
        ShowAlert(QStringLiteral("設定のフォルダと異なります。"));
        return;
    }
    const QListWidgetItem *chosen = File1->currentItem();
    if (!chosen || !chosen->isSelected()) {
        ShowAlert(QStringLiteral("取り込むファイルを選んでください。"));
        return;
    }
    ImportAccepted = true;
    ImportFolder = m_path == root ? QString() : m_path.mid(root.size() + (root.endsWith(u'/') ? 0 : 1));
    ImportFile = chosen->text();
    hide();
}

void GetDir_frm::cancel()
{
    ImportAccepted = false;
    hide();
}

void GetDir_frm::reject()
{
    cancel();
}

int GetDir_frm::showModal()
{
    ImportAccepted = false;
    setPath(m_path); // files may have come or gone since the last import
    return exec();
}

void GetDir_frm::closeEvent(QCloseEvent *event)
{
    ImportAccepted = false;
    QDialog::closeEvent(event);
}

} // namespace zumen
