#include "options/opt_frm.h"

#include "db/archive.h"
#include "dialogs/guard.h"
#include "exchange/backup.h"
#include "exchange/csv.h"
#include "text/utility.h"
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

QString count(int n)
{
    return FormatNumber(Variant(n), QStringLiteral("#,##0"));
}

// The first lines of a long list and how many more there are: the alert grows with its text.
QString firstLines(const QStringList &lines)
{
    constexpr int Shown = 20;
    QString text = lines.mid(0, Shown).join(u'\r');
    if (lines.size() > Shown)
        text += u'\r' + QStringLiteral("ほか %1 件").arg(count(int(lines.size()) - Shown));
    return text;
}

const QString Utf8Filter = QStringLiteral("CSV UTF-8 (*.csv)");
const QString Cp932Filter = QStringLiteral("CSV cp932 (*.csv)");

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
    m_export = new QPushButton(QStringLiteral("CSV 書き出し…"), this);
    m_export->setGeometry(twipsRect(2460, 3060, 2100, 450));
    nameControl(*m_export, QStringLiteral("ExportCsv"), m_export->text());
    connect(m_export, &QPushButton::clicked, this, [this] {
        QString filter = Utf8Filter;
        const QString path = QFileDialog::getSaveFileName(
            this, m_export->text(), QString(), Utf8Filter + QStringLiteral(";;") + Cp932Filter, &filter);
        if (!path.isEmpty())
            exportTo(path, filter == Cp932Filter);
    });
    m_import = new QPushButton(QStringLiteral("CSV 読み込み…"), this);
    m_import->setGeometry(twipsRect(4680, 3060, 2100, 450));
    nameControl(*m_import, QStringLiteral("ImportCsv"), m_import->text());
    connect(m_import, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, m_import->text(), QString(), QStringLiteral("CSV (*.csv);;すべてのファイル (*)"));
        if (!path.isEmpty())
            importFrom(path);
    });

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

void Opt_frm::exportTo(const QString &path, bool cp932)
{
    guarded([&] {
        Csv::ExportOptions options;
        options.encoding = cp932 ? Csv::Encoding::Cp932 : Csv::Encoding::Utf8;
        const Csv::Exported exported = Csv::exportRows(m_archive, options);
        QString error;
        if (!exported.problems.isEmpty())
            ShowAlert(firstLines(exported.problems) + u'\r' +
                      QStringLiteral("cp932 で書けない文字があるため、書き出しませんでした。"));
        // The file dialog has asked before replacing a file.
        else if (!Csv::writeFile(path, exported.bytes, true, &error))
            ShowAlert(error);
        else
            ShowAlert(QStringLiteral("%1 件を書き出しました。").arg(count(exported.rows)));
    });
}

void Opt_frm::importFrom(const QString &path)
{
    guarded([&] {
        const Csv::Imported imported = Csv::importFile(m_archive, path, std::nullopt, {});
        if (imported.refused) {
            ShowAlert(firstLines(imported.problems) + u'\r' +
                      QStringLiteral("読めない行があるため、何も書き込みませんでした。"));
            return;
        }
        emit recordsImported();
        ShowAlert(
            QStringList(QStringList{QStringLiteral("%1 件を読み込みました。").arg(count(imported.written))} +
                        imported.notes)
                .join(u'\r'));
    });
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
