#include "options/opt_frm.h"

#include "db/archive.h"
#include "dialogs/guard.h"
#include "exchange/backup.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

namespace zumen {

namespace {

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

Opt_frm::Opt_frm(Archive &archive, QWidget *parent) : QWidget(parent, Qt::Window), m_archive(archive)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("オプション"));
    setFixedSize(twipsToPixels(7080), twipsToPixels(3900));
    setFont(windowFont(ProportionalGothic, 9));

    m_title = new QLabel(QStringLiteral("オプション"), this);
    m_title->setFont(windowFont(ProportionalGothic, 14));
    m_title->setGeometry(twipsRect(240, 120, 3000, 480));
    nameControl(*m_title, QStringLiteral("Title"), m_title->text());

    const QString captions[] = {QStringLiteral("スキャナデータパス"), QStringLiteral("ファイルデータパス")};
    for (int i = 0; i < 2; ++i) {
        const int top = 780 + i * 480;
        m_label[i] = new QLabel(captions[i], this);
        m_label[i]->setGeometry(twipsRect(240, top, 1920, 330));
        nameControl(*m_label[i], QStringLiteral("Label(%1)").arg(i), captions[i]);
        m_ebox[i] = new QLineEdit(this);
        m_ebox[i]->setGeometry(twipsRect(2160, top, 4680, 330));
        m_ebox[i]->installEventFilter(this);
        nameControl(*m_ebox[i], QStringLiteral("ebox(%1)").arg(i), captions[i]);
    }

    m_recLabel = new QLabel(QStringLiteral("確認"), this);
    m_recLabel->setGeometry(twipsRect(240, 1740, 1920, 330));
    nameControl(*m_recLabel, QStringLiteral("RecLabel"), m_recLabel->text());
    m_recField = new QLineEdit(this);
    m_recField->setGeometry(twipsRect(2160, 1740, 600, 330));
    m_recField->installEventFilter(this);
    nameControl(*m_recField, QStringLiteral("RecField"), m_recLabel->text());

    m_back = new QPushButton(QStringLiteral("メニューに戻る(Esc)"), this);
    m_back->setGeometry(twipsRect(2160, 2400, 2280, 450));
    nameControl(*m_back, QStringLiteral("Command(0)"), m_back->text());
    connect(m_back, &QPushButton::clicked, this, &QWidget::close);
    m_store = new QPushButton(QStringLiteral("保存(F10)"), this);
    m_store->setGeometry(twipsRect(4560, 2400, 2280, 450));
    nameControl(*m_store, QStringLiteral("Command(2)"), m_store->text());
    connect(m_store, &QPushButton::clicked, this, &Opt_frm::save);

    // The folder-wide tasks, in a row of their own under the window's own buttons.
    m_backup = new QPushButton(QStringLiteral("バックアップ…"), this);
    m_backup->setGeometry(twipsRect(240, 3060, 2100, 450));
    nameControl(*m_backup, QStringLiteral("Backup"), m_backup->text());
    connect(m_backup, &QPushButton::clicked, this, &Opt_frm::backup);

    // The buttons name their keys, so the keys work wherever the focus is.
    connect(new QShortcut(Qt::Key_F10, this), &QShortcut::activated, this, &Opt_frm::save);
    connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, &QWidget::close);

    guarded([this] { LoadOptions(); });
}

void Opt_frm::LoadOptions()
{
    // The user sees where the pages really go, not a path relative to an unnamed folder.
    const int codes[] = {OptionCode::ScanFolder, OptionCode::FileFolder};
    for (int i = 0; i < 2; ++i) {
        if (const std::optional<QString> folder = m_archive.options.folder(codes[i]))
            m_ebox[i]->setText(*folder);
    }
    SelectAllText(*m_ebox[0]);
}

void Opt_frm::Register(const QString & /*dummyMode*/)
{
    m_archive.options.writeFolders(m_ebox[0]->text(), m_ebox[1]->text());
}

void Opt_frm::save()
{
    // On a failure the window stays open with what was typed, so nothing is lost.
    if (guarded([this] { Register(QString()); }))
        close();
}

void Opt_frm::backup()
{
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QStringLiteral("バックアップを置くフォルダ"));
    if (chosen.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Backup::Result done;
    const bool ok = guarded([&] {
        // The alert a failure shows needs the ordinary cursor back.
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        done = Backup::create(m_archive.options.workingFolder(), Backup::timestampedFolder(chosen));
    });
    if (!ok)
        return;
    QString text = QStringLiteral("バックアップを作りました: ") + QDir::toNativeSeparators(done.folder);
    if (!done.missing.isEmpty())
        text += u'\r' + QStringLiteral("見つからないページファイルが %1 個あります (%2 に一覧)。")
                            .arg(done.missing.size())
                            .arg(Backup::ManifestFile);
    ShowAlert(text);
}

bool Opt_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (watched == m_ebox[0]) {
        if (isEnter(key))
            SelectAllText(*m_ebox[1]);
        return isEnter(key) || key == Qt::Key_Up;
    }
    if (watched == m_ebox[1]) {
        if (isEnter(key))
            m_recField->setFocus();
        else if (key == Qt::Key_Up)
            SelectAllText(*m_ebox[0]);
        return isEnter(key) || key == Qt::Key_Up;
    }
    if (watched == m_recField) {
        if (isEnter(key))
            save();
        else if (key == Qt::Key_Up)
            SelectAllText(*m_ebox[1]);
        return isEnter(key) || key == Qt::Key_Up;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zumen
