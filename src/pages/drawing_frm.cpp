#include "pages/drawing_frm.h"

#include "db/archive.h"
#include "db/database.h"
#include "db/folders.h"
#include "dialogs/guard.h"
#include "exchange/record_pdf.h"
#include "imaging/page_error.h"
#include "imaging/page_image.h"
#include "pages/pain.h"
#include "text/log.h"
#include "text/utility.h"
#include "widgets/combo_setting.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <limits>

namespace zumen {

Drawing_frm::Drawing_frm(Archive &archive) : QWidget(nullptr), m_archive(archive)
{
    setWindowTitle(QStringLiteral("ピクチャー"));
    nameControl(*this, QStringLiteral("Drawing_frm"), QStringLiteral("ピクチャー"));
    // Below 1440 twips the window would have no room for the page at all.
    setMinimumSize(twipsToPixels(1440), twipsToPixels(1440));
    resize(twipsToPixels(14400), twipsToPixels(14400));

    auto *bar = new QHBoxLayout;
    ID = new QLabel(QStringLiteral("0"));
    nameControl(*ID, QStringLiteral("ID"), QStringLiteral("0"));
    ID->setFont(windowFont(ProportionalGothic, 12));
    ID->setMinimumWidth(twipsToPixels(1200));
    ID->setAlignment(Qt::AlignCenter);
    setColours(*ID, Qt::white, Teal);
    bar->addWidget(ID);
    static const char *const captions[] = {"追加", "前へ", "次へ"};
    for (int i = 0; i < 3; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(captions[i]));
        nameControl(*button, QStringLiteral("Command(%1)").arg(i), button->text());
        Command[static_cast<std::size_t>(i)] = button;
        bar->addWidget(button);
    }
    static const char *const rotations[] = {"左回転", "右回転"};
    for (int i = 0; i < 2; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(rotations[i]));
        nameControl(*button, QStringLiteral("CmdRotate(%1)").arg(i), button->text());
        CmdRotate[static_cast<std::size_t>(i)] = button;
        bar->addWidget(button);
    }
    cScale = new NamedComboBox;
    nameControl(*cScale, QStringLiteral("cScale"), QStringLiteral("表示倍率"));
    bar->addWidget(cScale);
    Prt = new QPushButton(QStringLiteral("印刷"));
    nameControl(*Prt, QStringLiteral("Prt"), Prt->text());
    bar->addWidget(Prt);
    PdfSave = new QPushButton(QStringLiteral("PDF保存"));
    nameControl(*PdfSave, QStringLiteral("PdfSave"), PdfSave->text());
    bar->addWidget(PdfSave);
    bar->addStretch();

    pain = new Pain;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(pain, 1);

    connect(Command[0], &QPushButton::clicked, this, &Drawing_frm::appendPageRequested);
    connect(Command[1], &QPushButton::clicked, this, [this] { guarded([this] { PreviousPage(); }); });
    connect(Command[2], &QPushButton::clicked, this, [this] { guarded([this] { NextPage(); }); });
    connect(CmdRotate[0], &QPushButton::clicked, this, [this] { Rotate(0); });
    connect(CmdRotate[1], &QPushButton::clicked, this, [this] { Rotate(1); });
    connect(Prt, &QPushButton::clicked, this, &Drawing_frm::Print);
    connect(PdfSave, &QPushButton::clicked, this, &Drawing_frm::SavePdf);
    connect(pain, &Pain::displayFailed, this, &Drawing_frm::pageFailed);
    // The zoom the user chose last in this working folder, the whole page when none was.
    FillZoomList(*cScale);
    int zoom = FitZoom;
    guarded([&] { zoom = m_archive.options.viewerZoom().value_or(FitZoom); });
    SetZoom(cScale->findData(zoom) >= 0 ? zoom : FitZoom);
    connect(cScale, &QComboBox::currentIndexChanged, this, [this] {
        const int chosen = SelectedItemData(*cScale);
        SetZoom(chosen);
        guarded([&] { m_archive.options.writeViewerZoom(chosen); });
    });

    choosePrinter = [this](QPrinter &printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    choosePdfFile = [this](const QString &suggested) {
        return QFileDialog::getSaveFileName(this, PdfSave->text(), suggested, QStringLiteral("PDF (*.pdf)"));
    };
}

void Drawing_frm::Display(std::int32_t aID, std::int16_t aPage)
{
    // A viewer the user closed comes back with the next record shown.
    if (isHidden() && m_unloaded) {
        m_unloaded = false;
        show();
    }
    m_id = aID;
    m_pageCount = 0;
    setLabelText(*ID, NumText(aID));
    m_label = ID->text();
    const RecordStore::PageLookup found = m_archive.records.page(aID, aPage);
    if (!found.page)
        return;
    m_pageCount = found.count;
    if (found.count > 1) {
        setLabelText(*ID, ID->text() + u'-' + NumText(aPage));
        m_label = ID->text();
    }
    DisplayByFileName(found.page->dir, found.page->file);
    CurrentPage = aPage;
}

void Drawing_frm::DisplayByFileName(const QString &aPath, const QString &aName)
{
    const QString path =
        WorkingFolder::pageFilePath(aPath, aName, m_archive.scanFolder, m_archive.fileFolder);
    try {
        // The page comes at the zoom the user chose, from record to record; a file that
        // turns out missing or damaged while it is decoded comes back through pageFailed.
        pain->setImage(path);
        pain->display();
        m_standIn.clear();
    } catch (const NumberedError &e) {
        pageFailed(path, e.number(), e.description());
    }
}

void Drawing_frm::pageFailed(const QString &path, int number, const QString &description)
{
    qCWarning(logPages).noquote() << "page" << path << "not shown:" << number << description;
    const QString placeholder = QDir::current().filePath(WorkingFolder::PlaceholderImage);
    if (path == placeholder) {
        // Without its placeholder image the viewer simply shows nothing.
        pain->clearDisplay();
        m_standIn.clear();
        return;
    }
    // A damaged file is as unreadable as a missing one: both show the placeholder.
    if (number != PageErr::Missing && number != PageErr::Undecodable) {
        ShowAlert(NumberedError(number, description).alertText());
        return;
    }
    try {
        pain->setImage(placeholder);
        pain->display();
        m_standIn = placeholder;
    } catch (const NumberedError &) {
        pain->clearDisplay();
        m_standIn.clear();
    }
}

void Drawing_frm::SetZoom(int percent)
{
    const int entry = cScale->findData(percent);
    if (entry >= 0) {
        const QSignalBlocker block(cScale);
        cScale->setCurrentIndex(entry);
    }
    try {
        if (percent == FitZoom)
            pain->fitToWindow();
        else
            pain->setZoom(percent);
    } catch (const NumberedError &e) {
        if (e.number() != PageErr::ZoomRefused)
            ShowAlert(e.alertText());
    }
}

void Drawing_frm::PreviousPage()
{
    turnPage(-1);
}

void Drawing_frm::NextPage()
{
    turnPage(1);
}

// Paging works only for a shown record of more than one page, while the label still shows
// it (the card puts a new record's number there before that has a page), and moves by
// exactly one page number.
void Drawing_frm::turnPage(int step)
{
    const int p = CurrentPage + step;
    if (p < 1 || p > std::numeric_limits<std::int16_t>::max() || m_pageCount < 2 || ID->text() != m_label)
        return;
    if (!m_archive.records.page(m_id, static_cast<std::int16_t>(p)).page)
        return;
    CurrentPage = static_cast<std::int16_t>(p);
    Display(m_id, CurrentPage);
}

void Drawing_frm::Rotate(int index)
{
    // A page file is the archive's as much as its rows are.
    if (!guarded([this] { m_archive.db.refuseChanges(); }))
        return;
    // The turn goes to the page of the current file: one still being decoded is waited for.
    pain->waitForPage();
    const QString path = pain->image();
    // The placeholder is one file shared by every missing or damaged page: turning it would
    // turn them all, so it stays as it is.
    if (!m_standIn.isEmpty() && path == m_standIn)
        return;
    bool turned = false;
    try {
        if (index == 0)
            pain->rotateLeft();
        else
            pain->rotateRight();
        turned = true;
        pain->saveAs(path);
    } catch (const NumberedError &e) {
        if (e.number() != PageErr::NoPicture)
            qCWarning(logPages).noquote() << "page" << path << "not turned:" << e.number() << e.description();
        // The file stays as it was; turned back, the page shows it so, rather than a turn
        // that was not kept.
        try {
            if (turned && index == 0)
                pain->rotateRight();
            else if (turned)
                pain->rotateLeft();
        } catch (const NumberedError &) {
        }
        // A file that cannot be written is left without a word; one whose other pages would
        // be lost is worth one, or the user would take the turn as kept.
        if (e.number() == PageErr::OtherPagesAtRisk)
            ShowAlert(e.description());
    }
}

void Drawing_frm::Print()
{
    try {
        pain->waitForPage();
        if (!pain->hasImage())
            throw NumberedError(PageErr::NoPicture, QStringLiteral("ピクチャーがありません。"));
        QPrinter printer(QPrinter::HighResolution);
        if (!choosePrinter(printer))
            throw NumberedError(PageErr::PrintCancelled, QStringLiteral("印刷は取り消されました。"));
        pain->printImage(printer);
    } catch (const NumberedError &e) {
        if (e.number() == PageErr::NoPicture)
            ShowAlert(QStringLiteral("ピクチャーがありません。"));
        else if (e.number() != PageErr::PrintCancelled)
            ShowAlert(e.alertText());
    }
}

void Drawing_frm::SavePdf()
{
    if (m_id == 0 || m_pageCount == 0) {
        ShowAlert(QStringLiteral("ピクチャーがありません。"));
        return;
    }
    // Named after the drawing number when it makes a file name, else after the identifier.
    QString name;
    guarded([&] {
        name = m_archive.records.record(m_id).value_or(RowValues()).value(QStringLiteral("Str1")).toString();
    });
    name = name.trimmed();
    if (name.isEmpty() || name.contains(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]"))))
        name = NumText(m_id);
    const QString path = choosePdfFile(QDir::current().filePath(name + QStringLiteral(".pdf")));
    if (path.isEmpty())
        return;
    RecordPdf::Result written;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = guarded([&] {
        // The alert a failure shows needs the ordinary cursor back.
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        // The dialog has asked before an existing file is replaced.
        written = RecordPdf::write(m_archive, m_id, path, {.replace = true});
    });
    if (ok)
        ShowAlert(QStringLiteral("%1 ページを書き出しました: %2")
                      .arg(written.pages)
                      .arg(QDir::toNativeSeparators(path)));
}

void Drawing_frm::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    guarded([this] { SaveWindowPlacement(m_archive.placements, *this, PosRow::Viewer); });
}

void Drawing_frm::closeEvent(QCloseEvent *event)
{
    // The viewer lives for the whole run: closing stores its placement and hides it.
    Unload();
    event->accept();
}

} // namespace zumen
