#include "card/info_frm.h"

#include "card/item_entry.h"
#include "db/archive.h"
#include "db/database.h"
#include "db/numbered_error.h"
#include "dialogs/alert_frm.h"
#include "dialogs/confirm_frm.h"
#include "dialogs/guard.h"
#include "imaging/pdf_pages.h"
#include "text/utility.h"
#include "widgets/flex_grid.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QWindow>

namespace zumen {
namespace {

// A PDF page is kept as a scan of it at this resolution: enough for 200 % on screen and to
// print a drawing's lines as drawn.
constexpr int PdfDpi = 300;

bool isPdf(const QString &name)
{
    return name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

bool isDesignerGesture(const QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const auto mods = static_cast<const QMouseEvent *>(event)->modifiers() &
                      (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    return mods == (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
}

} // namespace

Info_frm::Info_frm(Archive &archive)
    : EntryCard(archive, {QStringLiteral("Info_frm"), QStringLiteral("情報"), &archive.mainLayout, true,
                          PosRow::CardItemColumn, PosRow::CardValueColumn, PosRow::Card, 14.25})
{

    static const char *const captions[] = {"追加", "前へ", "次へ", "検索", "修正", "履歴", "終了"};
    static const int tops[] = {405, 705, 990, 1275, 1560, 1845, 2130};
    for (int i = 0; i < 7; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(captions[i]), this);
        nameControl(*button, QStringLiteral("Command(%1)").arg(i), button->text());
        button->setGeometry(twipsRect(120, tops[i], 1125, i == 6 ? 285 : 270));
        button->setAutoDefault(false);
        Command[static_cast<std::size_t>(i)] = button;
    }
    entryAfter(Command[6]);
    ID->installEventFilter(this);
    Command[5]->installEventFilter(this);
    Command[6]->installEventFilter(this);
    connect(Command[0], &QPushButton::clicked, this, [this] { DoAppend(false); });
    connect(Command[1], &QPushButton::clicked, this, [this] { guarded([this] { GoPrevious(); }); });
    connect(Command[2], &QPushButton::clicked, this, [this] { guarded([this] { GoNext(); }); });
    connect(Command[3], &QPushButton::clicked, this, &Info_frm::searchRequested);
    connect(Command[4], &QPushButton::clicked, this, &Info_frm::StartEdit);
    connect(Command[5], &QPushButton::clicked, this, [this] { emit historyRequested(m_session.id); });
    connect(Command[6], &QPushButton::clicked, this, &Info_frm::ExitProgram);
    connect(List, &QTableWidget::cellDoubleClicked, this,
            [this] { guarded([this] { m_entry->showMemoReadOnly(); }); });
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &Info_frm::onFocusWindowChanged);
    // The options window, and with it backup and CSV, for a user who does not know the gesture on
    // 終了: the card's context menu is where one looks for what the buttons do not offer.
    auto *options = new QAction(QStringLiteral("オプション・バックアップ・CSV…"), this);
    options->setObjectName(QStringLiteral("OptionsAction"));
    connect(options, &QAction::triggered, this, &Info_frm::optionsRequested);
    addAction(options);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    fitLayoutHeight();
}

void Info_frm::setSearchWalk(std::function<bool()> active,
                             std::function<std::optional<std::int32_t>(bool)> step)
{
    m_searchActive = std::move(active);
    m_searchStep = std::move(step);
}

void Info_frm::showId(std::int32_t id)
{
    m_session.id = id;
    setLabelText(*ID, QString::number(id));
}

void Info_frm::fitLayoutHeight()
{
    // With no stored placement the card opens tall enough for every item of the layout
    // (the grid gets the card's height less 1200 twips), within the screen.
    int rows = 2 * List->frameWidth();
    for (int r = 0; r < List->rows(); ++r)
        rows += List->rowHeight(r);
    int wanted = rows + twipsToPixels(1200);
    if (const QScreen *s = screen())
        wanted = std::min(wanted, s->availableGeometry().height() * 9 / 10);
    if (wanted > height())
        resize(width(), wanted);
}

void Info_frm::Display(std::int32_t aID)
{
    const std::optional<RowValues> row = m_archive.records.record(aID);
    if (!row)
        return;
    showId(aID);
    m_session.page = 1;
    m_session.shown = *row;
    m_entry->showRow(*row);
    emit pageShown(aID, 1);
}

void Info_frm::stepTo(bool next)
{
    emit historyHideRequested();
    // After a search the steps walk its result list, not the table.
    const std::optional<std::int32_t> id = m_searchActive && m_searchActive()
                                               ? m_searchStep(next)
                                               : m_archive.records.neighbour(m_session.id, next);
    if (id)
        Display(*id);
}

void Info_frm::GoPrevious()
{
    stepTo(false);
}

void Info_frm::GoNext()
{
    stepTo(true);
}

void Info_frm::StartEdit()
{
    if (!guarded([this] { m_archive.db.refuseChanges(); }))
        return;
    m_session.mode = CardSession::Mode::Edit;
    m_entry->beginEntry();
}

void Info_frm::BeginEntry()
{
    // The capture windows had the keyboard: the entry continues on the card.
    activateWindow();
    m_entry->beginEntry();
}

void Info_frm::save()
{
    // A page entry is written only for a record this card started with a captured page;
    // saving any other record must never touch its pages.
    if (m_session.mode != CardSession::Mode::New) {
        // Refused when another desk wrote the record (or the layout) since it was shown: what
        // was typed stays on the card, and showing the record again brings the other values.
        Transaction transaction(m_archive.db);
        m_archive.layouts.refuseIfChanged(LayoutStore::Table::Main, m_archive.mainLayout);
        m_session.shown = m_archive.records.saveRecord(m_session.id, m_entry->values(), m_session.shown);
        transaction.commit();
        m_entry->finish();
        m_session.mode = CardSession::Mode::View;
        return;
    }
    // The number was handed out at 追加; another desk on the same folder may have saved it
    // since. The store then takes the next free one, and the scans are renamed to go with it.
    const std::int32_t handedOut = m_session.id;
    const bool ownScan = m_session.pendingDir == QLatin1String("_SCAN") &&
                         m_session.pendingFile == ScanFileName(handedOut, std::nullopt);
    const QStringList morePages = ownScan ? m_session.pendingPages : QStringList();
    const QString folder = m_archive.scanFolder.trimmed();
    QList<std::pair<QString, QString>> renamed;
    const auto rename = [&](const QString &from, const QString &to) {
        if (!RenameNoReplace(folder + u'/' + from, folder + u'/' + to))
            throw NumberedError(75,
                                QStringLiteral("スキャンしたページ '%1' の名前を '%2' に変えられないため、"
                                               "レコードを保存できませんでした。")
                                    .arg(folder + u'/' + from, folder + u'/' + to));
        renamed.append({from, to});
    };
    std::int32_t savedAs = handedOut;
    const auto moveTo = [&](std::int32_t id) {
        savedAs = id;
        PageRef page{1, m_session.pendingDir, m_session.pendingFile};
        if (!ownScan)
            return page;
        page.file = ScanFileName(id, std::nullopt);
        rename(m_session.pendingFile, page.file);
        for (qsizetype i = 0; i < morePages.size(); ++i)
            rename(morePages[i], ScanFileName(id, static_cast<std::int16_t>(i + 2)));
        return page;
    };
    std::int32_t id = 0;
    try {
        // The record and all its scanned pages, or none of them.
        Transaction transaction(m_archive.db);
        m_archive.layouts.refuseIfChanged(LayoutStore::Table::Main, m_archive.mainLayout);
        id = m_archive.records.addRecord(handedOut, m_entry->values(),
                                         {1, m_session.pendingDir, m_session.pendingFile},
                                         ownScan ? folder : QString(), moveTo);
        for (qsizetype i = 0; i < morePages.size(); ++i) {
            const auto page = static_cast<std::int16_t>(i + 2);
            m_archive.records.putPage(id, page, m_session.pendingDir,
                                      savedAs == handedOut ? morePages[i] : ScanFileName(id, page));
        }
        m_session.shown = m_archive.records.record(id).value_or(RowValues());
        transaction.commit();
    } catch (...) {
        // Nothing was saved: the scans go back under the names the entry still holds.
        for (const auto &[from, to] : renamed)
            RenameNoReplace(folder + u'/' + to, folder + u'/' + from);
        throw;
    }
    m_entry->finish();
    m_session.mode = CardSession::Mode::View;
    m_session.pendingPages.clear();
    if (id != handedOut) {
        if (ownScan)
            m_session.pendingFile = ScanFileName(id, std::nullopt);
        showId(id);
        emit pageShown(id, 1);
    }
}

bool Info_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (isDesignerGesture(event)) {
        if (watched == ID || watched == Command[5]) {
            emit designerRequested(watched == ID ? QStringLiteral("Main") : QStringLiteral("History"));
            return true;
        }
        if (watched == Command[6]) {
            emit optionsRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Info_frm::onFocusWindowChanged(QWindow *now)
{
    // Focus coming from nowhere means another application had it: that does not count.
    if (now && now == windowHandle() && (m_previousFocus || !m_activatedOnce)) {
        m_activatedOnce = true;
        emit activatedFromProgram();
    }
    m_previousFocus = now;
}

bool Info_frm::AbandonEntry()
{
    if (m_session.mode == CardSession::Mode::View)
        return true;
    if (!ConfirmChoice(QStringLiteral("入力を取り消しますか"), QStringLiteral("取り消す"),
                       QStringLiteral("入力を続ける")))
        return false;
    const bool newRecord = m_session.mode == CardSession::Mode::New;
    if (newRecord)
        guarded([this] { removeUnreferencedScan(); });
    m_entry->finish();
    m_session.mode = CardSession::Mode::View;
    if (!newRecord) {
        guarded([this] { Display(m_session.id); });
        return true;
    }
    // Back to the record shown before 追加, or to the empty card when there was none.
    ClearCard();
    showId(0);
    m_session.shown.clear();
    emit viewerLabelShown(QStringLiteral("0"));
    if (m_shownBeforeAppend > 0)
        guarded([this] { Display(m_shownBeforeAppend); });
    return true;
}

void Info_frm::removeUnreferencedScan()
{
    // Only a scan belongs to the new record; a file taken from the file data folder is the user's.
    if (m_session.pendingDir != QLatin1String("_SCAN") || m_session.pendingFile.isEmpty())
        return;
    if (!m_archive.records.scanReferenced(m_session.pendingFile)) {
        emit pictureCleared();
        QFile::remove(m_archive.scanFolder.trimmed() + u'/' + m_session.pendingFile);
    }
    for (const QString &file : std::as_const(m_session.pendingPages)) {
        if (!m_archive.records.scanReferenced(file))
            QFile::remove(m_archive.scanFolder.trimmed() + u'/' + file);
    }
    m_session.pendingDir.clear();
    m_session.pendingFile.clear();
    m_session.pendingPages.clear();
}

void Info_frm::keyPressEvent(QKeyEvent *event)
{
    // The entry's boxes leave Esc to the window.
    if (event->key() == Qt::Key_Escape && m_session.mode != CardSession::Mode::View) {
        AbandonEntry();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Info_frm::ExitProgram()
{
    if (!AbandonEntry())
        return;
    Unload();
    hide();
    emit exitRequested();
}

void Info_frm::DoAppend(bool aPageMode)
{
    if (!m_pageSource)
        return;
    if (!guarded([this] { m_archive.db.refuseChanges(); }))
        return;
    m_session.pageMode = aPageMode;
    const PageSource::Kind choice = m_pageSource->choose(this);
    if (choice == PageSource::Kind::Back)
        return;
    m_shownBeforeAppend = m_session.id;
    // Without a number (the file locked, say) nothing starts: the card keeps the record it
    // shows, and no capture can land on that record's page file.
    if (!aPageMode && !guarded([this] { NewRecordId(); }))
        return;
    emit historyHideRequested();
    ClearCard();
    if (!aPageMode) {
        // A capture that fails must never leave the new record pointing at an earlier one's page.
        m_session.pendingDir.clear();
        m_session.pendingFile.clear();
        m_session.pendingPages.clear();
    }
    if (choice == PageSource::Kind::Scanner) {
        StartScan();
        return;
    }
    if (!aPageMode)
        emit viewerLabelShown(QString::number(m_session.id));
    const std::optional<PageSource::File> file = m_pageSource->chooseFile(this);
    if (!file)
        return;
    if (isPdf(file->name)) {
        guarded([&] { takePdf(*file); });
        return;
    }
    m_session.pendingDir = file->folder;
    m_session.pendingFile = file->name;
    if (aPageMode) {
        guarded([&] { addImportedPage(*file); });
        return;
    }
    emit fileShown(m_session.pendingDir, m_session.pendingFile);
    m_session.mode = CardSession::Mode::New;
    BeginEntry();
}

void Info_frm::NewRecordId()
{
    showId(m_archive.records.newRecordId());
}

void Info_frm::ClearCard()
{
    m_entry->clear();
    emit pictureCleared();
}

namespace {

// Page mode on a record without any page: its first page only comes with the record itself.
const QString NoPagesYet = QStringLiteral("このレコードにはページがないため、ページを追加できません。");

} // namespace

void Info_frm::addImportedPage(const PageSource::File &import)
{
    const std::int32_t id = m_session.id;
    const std::optional<std::int16_t> page = m_archive.records.nextPage(id);
    if (!page) {
        ShowAlert(NoPagesYet);
        return;
    }
    const QString folder = import.folder.trimmed();
    m_archive.records.putPage(id, *page, folder.isEmpty() ? QStringLiteral(" ") : folder, import.name);
    Display(id);
    m_session.page = *page;
    emit pageShown(id, *page);
}

void Info_frm::takePdf(const PageSource::File &pdf)
{
    const QString folder = m_archive.scanFolder.trimmed();
    if (folder.isEmpty()) {
        ShowAlert(QStringLiteral("スキャナデータパスが設定されていないため、ページを保存できません。"));
        return;
    }
    const std::int32_t id = m_session.id;
    std::optional<std::int16_t> first;
    if (m_session.pageMode && !(first = m_archive.records.nextPage(id))) {
        ShowAlert(NoPagesYet);
        return;
    }
    const QString source = QDir(m_archive.fileFolder.trimmed())
                               .filePath(pdf.folder.isEmpty() ? pdf.name : pdf.folder + u'/' + pdf.name);
    // Each page is rendered once and kept like a scanned sheet, so every reader of the pages
    // follows it; the PDF itself is only read. A new record's pages get names of their own
    // until its number is settled, as a scan's page does.
    const QString part = QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate());
    const auto pageFile = [&](std::int32_t number, int index) {
        if (first)
            return ScanFileName(number, static_cast<std::int16_t>(*first + index));
        return ScanFileName(number, index ? std::optional<std::int16_t>(index + 1) : std::nullopt);
    };
    QStringList written;
    try {
        const WaitCursor busy;
        writePdfPages(source, PdfDpi, [&](int index) {
            written << (first ? folder + u'/' + pageFile(id, index)
                              : folder + QStringLiteral("/.") + pageFile(id, index) + part);
            return written.last();
        });
    } catch (const NumberedError &e) {
        ShowAlert(QStringLiteral("PDF のページを取り込めませんでした。") + u'\r' + e.description());
        return;
    }
    const auto removeWritten = [&] {
        for (const QString &path : std::as_const(written))
            QFile::remove(path);
    };
    if (first) {
        const bool recorded = guarded([&] {
            Transaction transaction(m_archive.db);
            for (int i = 0; i < written.size(); ++i)
                m_archive.records.putPage(id, static_cast<std::int16_t>(*first + i), QStringLiteral("_SCAN"),
                                          pageFile(id, i));
            transaction.commit();
        });
        if (!recorded)
            return removeWritten();
        Display(id);
        m_session.page = *first;
        emit pageShown(id, *first);
        return;
    }
    // Page 1 takes the first free number's name, then the others follow it.
    std::int32_t number = id;
    const bool placed = guarded([&] {
        number = placeFirstPage(written[0], folder, QStringLiteral("ページを保存できませんでした。"));
        written[0] = folder + u'/' + pageFile(number, 0);
        for (int i = 1; i < written.size(); ++i) {
            const QString target = folder + u'/' + pageFile(number, i);
            if (!RenameNoReplace(written[i], target))
                throw NumberedError(75, QStringLiteral("ページを保存できませんでした。") + u'\r' + target);
            written[i] = target;
        }
    });
    if (!placed)
        return removeWritten();
    m_session.pendingDir = QStringLiteral("_SCAN");
    m_session.pendingFile = pageFile(number, 0);
    for (int i = 1; i < written.size(); ++i)
        m_session.pendingPages << pageFile(number, i);
    showId(number);
    emit fileShown(m_session.pendingDir, m_session.pendingFile);
    m_session.mode = CardSession::Mode::New;
    BeginEntry();
}

std::int32_t Info_frm::placeFirstPage(const QString &written, const QString &folder, const QString &failure)
{
    // From the number handed out at 追加 on: another desk may have taken it since.
    for (std::int32_t number = m_archive.records.freeRecordId(m_session.id, folder);;
         number = m_archive.records.freeRecordId(number + 1, folder)) {
        const QString target = folder + u'/' + ScanFileName(number, std::nullopt);
        if (RenameNoReplace(written, target))
            return number;
        if (!QFileInfo::exists(target))
            throw NumberedError(75, failure + u'\r' + target);
    }
}

void Info_frm::StartScan()
{
    if (m_pageSource)
        m_pageSource->scan(
            this, [this] { return ScanCompleted(); }, [this] { ScanFinished(); });
}

bool Info_frm::ScanCompleted()
{
    if (!m_pageSource)
        return false;
    const std::int32_t id = m_session.id;
    // A further sheet from the feeder for the new record its first sheet started: its next
    // page, recorded with it when the record is saved.
    const bool furtherSheet = !m_session.pageMode && m_session.mode == CardSession::Mode::New &&
                              m_session.pendingDir == QLatin1String("_SCAN") &&
                              !m_session.pendingFile.isEmpty();
    std::optional<std::int16_t> page;
    if (furtherSheet) {
        page = static_cast<std::int16_t>(m_session.pendingPages.size() + 2);
    } else if (m_session.pageMode) {
        page = m_archive.records.nextPage(id);
        if (!page) {
            ShowAlert(NoPagesYet);
            return false;
        }
    }
    const QString file = ScanFileName(id, page);
    // A page whose file was not written is recorded nowhere; the user hears what failed where.
    const QString folder = m_archive.scanFolder.trimmed();
    if (folder.isEmpty()) {
        ShowAlert(QStringLiteral("スキャナデータパスが設定されていないため、ページを保存できません。"));
        return false;
    }
    // A new record's page is written under a name of its own and then given its SC name,
    // which must still be free: another desk may hold that number's scan, waiting for its save.
    const QString written =
        page ? folder + u'/' + file
             : folder + QStringLiteral("/.%1.%2.part").arg(file).arg(QRandomGenerator::global()->generate());
    try {
        m_pageSource->writeScan(written);
    } catch (const NumberedError &e) {
        ShowAlert(QStringLiteral("スキャンしたページを保存できませんでした。") + u'\r' + e.description());
        return false;
    }
    if (furtherSheet) {
        m_session.pendingPages << file;
        return true;
    }
    m_session.pendingDir = QStringLiteral("_SCAN");
    if (page) {
        m_session.pendingFile = file;
        m_archive.records.putPage(id, *page, m_session.pendingDir, m_session.pendingFile);
        return true;
    }
    std::int32_t number = id;
    const bool placed = guarded([&] {
        number =
            placeFirstPage(written, folder, QStringLiteral("スキャンしたページを保存できませんでした。"));
    });
    if (!placed) {
        QFile::remove(written);
        emit pictureCleared();
        m_session.pendingDir.clear();
        return false;
    }
    m_session.pendingFile = ScanFileName(number, std::nullopt);
    showId(number);
    emit fileShown(m_session.pendingDir, m_session.pendingFile);
    m_session.mode = CardSession::Mode::New;
    return true;
}

void Info_frm::ScanFinished()
{
    // The entry waits for the last sheet: until then the progress dialog has the keyboard.
    if (!m_session.pageMode && m_session.mode == CardSession::Mode::New &&
        m_session.pendingDir == QLatin1String("_SCAN") && !m_session.pendingFile.isEmpty()) {
        // The viewer showed each sheet as it came; the entry is for the record, from its first page.
        if (!m_session.pendingPages.isEmpty())
            emit fileShown(m_session.pendingDir, m_session.pendingFile);
        BeginEntry();
    }
}

void Info_frm::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program like "終了": the other windows are of no use
    // without it.
    event->ignore();
    ExitProgram();
}

} // namespace zumen
