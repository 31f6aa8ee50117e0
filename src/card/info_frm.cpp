#include "card/info_frm.h"

#include "card/item_entry.h"
#include "db/database.h"
#include "db/layouts.h"
#include "dialogs/confirm_frm.h"
#include "dialogs/guard.h"
#include "history/history_frm.h"
#include "history/memo_frm.h"
#include "options/opt_frm.h"
#include "pages/drawing_frm.h"
#include "pages/get_dir_frm.h"
#include "pages/pain.h"
#include "pages/scanner.h"
#include "pages/select_device_frm.h"
#include "search/srchlist_frm.h"
#include "shell/desk.h"
#include "shell/globals.h"
#include "text/utility.h"
#include "widgets/flex_grid.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

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

// Design size of the card's inner area and the smallest size at which every control keeps
// a positive size under the resize rule.
constexpr int DesignWidth = 11565;
constexpr int DesignHeight = 3015;
constexpr int MinimumWidth = 4800;
constexpr int MinimumHeight = 2400;

bool isDesignerGesture(const QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const auto mods = static_cast<const QMouseEvent *>(event)->modifiers() &
                      (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    return mods == (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
}

} // namespace

QString ScanFileName(std::int32_t id, std::optional<std::int16_t> page)
{
    QString name = QStringLiteral("SC") + QStringLiteral("%1").arg(id, 6, 10, QLatin1Char('0'));
    if (page)
        name += QStringLiteral("%1").arg(*page, 2, 10, QLatin1Char('0'));
    return name + QStringLiteral(".TIF");
}

Info_frm::Info_frm(Desk &desk) : QWidget(nullptr), m_desk(desk)
{
    setWindowTitle(QStringLiteral("情報"));
    nameControl(*this, QStringLiteral("Info_frm"), QStringLiteral("情報"));
    resize(twipsToPixels(DesignWidth), twipsToPixels(DesignHeight));
    setMinimumSize(twipsToPixels(MinimumWidth), twipsToPixels(MinimumHeight));

    ID = new QLabel(QStringLiteral("0"), this);
    nameControl(*ID, QStringLiteral("ID"), QStringLiteral("0"));
    ID->setGeometry(twipsRect(150, 15, 1080, 345));
    ID->setFont(windowFont(ProportionalGothic, 14.25));
    ID->setAlignment(Qt::AlignCenter);
    setColours(*ID, Qt::white, Teal);

    static const char *const captions[] = {"追加", "前へ", "次へ", "検索", "修正", "履歴", "終了"};
    static const int tops[] = {405, 705, 990, 1275, 1560, 1845, 2130};
    for (int i = 0; i < 7; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(captions[i]), this);
        nameControl(*button, QStringLiteral("Command(%1)").arg(i), button->text());
        button->setGeometry(twipsRect(120, tops[i], 1125, i == 6 ? 285 : 270));
        button->setAutoDefault(false);
        Command[static_cast<std::size_t>(i)] = button;
    }
    const EntryControls controls = createEntryControls(*this);
    Label0 = controls.nameLabel;
    eNamae = controls.name;
    List = controls.grid;
    Koumoku = controls.itemLabel;
    eNaiyou = controls.valueBox;

    m_entry = new ItemEntry(
        desk, {eNamae, List, Koumoku, eNaiyou},
        {&MainLayout, true, PosRow::CardItemColumn, PosRow::CardValueColumn}, CurrentItem,
        [this] { SaveRecord(); }, this);
    ID->installEventFilter(this);
    Command[5]->installEventFilter(this);
    Command[6]->installEventFilter(this);
    connect(Command[0], &QPushButton::clicked, this, [this] { DoAppend(false); });
    connect(Command[1], &QPushButton::clicked, this, [this] { guarded([this] { GoPrevious(); }); });
    connect(Command[2], &QPushButton::clicked, this, [this] { guarded([this] { GoNext(); }); });
    connect(Command[3], &QPushButton::clicked, this, &Info_frm::searchRequested);
    connect(Command[4], &QPushButton::clicked, this, &Info_frm::StartEdit);
    connect(Command[5], &QPushButton::clicked, this,
            [this] { emit historyRequested(static_cast<std::int32_t>(NumberValue(ID->text()))); });
    connect(Command[6], &QPushButton::clicked, this, &Info_frm::ExitProgram);
    connect(List, &QTableWidget::cellDoubleClicked, this,
            [this] { guarded([this] { showMemoReadOnly(); }); });
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &Info_frm::onFocusWindowChanged);

    buildGrid();
    fitLayoutHeight();
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

void Info_frm::buildGrid()
{
    m_entry->buildGrid();
    Mode = QStringLiteral("VIEW");
}

void Info_frm::Display(std::int32_t aID)
{
    Recordset rs = m_desk.db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID=") + NumText(aID));
    if (rs.eof()) {
        rs.close();
        return;
    }
    setLabelText(*ID, QString::number(aID));
    m_entry->showRow(rs);
    rs.close();
    if (m_desk.viewer)
        m_desk.viewer->Display(aID, 1);
}

void Info_frm::stepTo(bool next)
{
    if (m_desk.history)
        m_desk.history->hide();
    // After a search the steps walk its result list, not the table.
    if (SearchActive && m_desk.results) {
        std::int32_t id = 0;
        if (m_desk.results->step(next, id))
            Display(id);
        return;
    }
    const QString x = NumberText(ID->text());
    const QString sql =
        next ? QStringLiteral("SELECT TOP 1 * FROM DT WHERE ID>") + x + QStringLiteral(" ORDER BY ID")
             : QStringLiteral("SELECT TOP 1 * FROM DT WHERE ID<") + x + QStringLiteral(" ORDER BY ID DESC");
    Recordset rs = m_desk.db.openRecordset(sql);
    if (rs.eof()) {
        rs.close();
        return;
    }
    const auto id = static_cast<std::int32_t>(NullToZero(rs.field(QStringLiteral("ID"))).toInteger());
    rs.close();
    Display(id);
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
    Mode = QStringLiteral("EDIT");
    m_entry->beginEntry();
}

void Info_frm::BeginEntry()
{
    // The capture windows had the keyboard: the entry continues on the card.
    activateWindow();
    m_entry->beginEntry();
}

void Info_frm::SaveRecord()
{
    auto id = static_cast<std::int32_t>(NumberValue(ID->text()));
    // A page entry is written only for a record this card started with a captured page;
    // saving any other record must never touch its pages.
    const bool newRecord = Mode == QLatin1String("NEW");
    QString file = PendingFileName;
    Transaction transaction(m_desk.db);
    // The number was handed out at 追加; another desk on the same folder may have saved it
    // since. Inside the write lock the next free one is taken, so a new record never
    // replaces a record or its pages.
    const bool renumbered = newRecord && idInUse(id);
    QString scanFrom, scanTo;
    if (renumbered) {
        const bool ownScan = PendingDir == QLatin1String("_SCAN") && file == ScanFileName(id, std::nullopt);
        id = freeRecordId(nextRecordId(), ownScan);
        if (ownScan) {
            file = ScanFileName(id, std::nullopt);
            scanFrom = ScanDataFolder.trimmed() + u'/' + PendingFileName;
            scanTo = ScanDataFolder.trimmed() + u'/' + file;
            if (!RenameNoReplace(scanFrom, scanTo))
                throw NumberedError(
                    75, QStringLiteral("スキャンしたページ '%1' の名前を '%2' に変えられないため、"
                                       "レコードを保存できませんでした。")
                            .arg(scanFrom, scanTo));
        }
    }
    try {
        Recordset rs = m_desk.db.openRecordset(QStringLiteral("SELECT * FROM DT WHERE ID=") + NumText(id));
        if (rs.eof() || newRecord) {
            rs.addNew();
            rs.setField(QStringLiteral("ID"), id);
        } else {
            rs.edit();
        }
        m_entry->writeRow(rs);
        rs.update();
        rs.close();
        if (newRecord) {
            Recordset pg = m_desk.db.openRecordset(QStringLiteral("SELECT * FROM PG WHERE 1=0"));
            pg.addNew();
            pg.setField(QStringLiteral("ID"), id);
            pg.setField(QStringLiteral("Page"), 1);
            pg.setField(QStringLiteral("Dir"), PendingDir);
            pg.setField(QStringLiteral("FileName"), file);
            pg.update();
            pg.close();
        }
        transaction.commit();
    } catch (...) {
        // Nothing was saved: the scan goes back under the name the entry still holds.
        if (!scanTo.isEmpty())
            RenameNoReplace(scanTo, scanFrom);
        throw;
    }
    m_entry->finish();
    Mode = QStringLiteral("VIEW");
    if (renumbered) {
        PendingFileName = file;
        setLabelText(*ID, QString::number(id));
        if (m_desk.viewer)
            m_desk.viewer->Display(id, 1);
    }
}

bool Info_frm::idInUse(std::int32_t id)
{
    for (const char *table : {"DT", "PG"}) {
        Recordset rs =
            m_desk.db.openRecordset(QStringLiteral("SELECT TOP 1 ID FROM ") + QLatin1String(table) +
                                    QStringLiteral(" WHERE ID=") + NumText(id));
        const bool used = !rs.eof();
        rs.close();
        if (used)
            return true;
    }
    return false;
}

std::int32_t Info_frm::freeRecordId(std::int32_t from, bool withScan)
{
    // A scan file without a record is another desk's capture waiting for its save (or one
    // left by an interrupted entry): its number is passed over, never its file replaced.
    std::int32_t id = from;
    while (idInUse(id) ||
           (withScan && QFileInfo::exists(ScanDataFolder.trimmed() + u'/' + ScanFileName(id, std::nullopt))))
        ++id;
    return id;
}

void Info_frm::showMemoReadOnly()
{
    const int position = List->row() - 1;
    if (position < 0 || position >= 10 || MainLayout[static_cast<std::size_t>(position)].kind != Kind::Memo)
        return;
    List->setCol(1);
    Memo_frm &memo = *m_desk.memo;
    memo.pMemo = List->textMatrix(position + 1, 1);
    memo.Init(MainLayout[static_cast<std::size_t>(position)].label);
    memo.setLocked(true);
    memo.showModal();
    memo.setLocked(false);
}

void Info_frm::openOptions()
{
    auto *options = new Opt_frm(m_desk);
    CenterForm(*options);
    options->show();
}

bool Info_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (isDesignerGesture(event)) {
        if (watched == ID || watched == Command[5]) {
            DesignTarget = watched == ID ? QStringLiteral("Main") : QStringLiteral("History");
            emit designerRequested();
            return true;
        }
        if (watched == Command[6]) {
            guarded([this] { openOptions(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Info_frm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_entry)
        m_entry->fitTo(*this);
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

void Info_frm::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    guarded([this] {
        SaveWindowPlacement(m_desk.db, *this, PosRow::Card);
        m_entry->saveGridWidths();
    });
}

bool Info_frm::AbandonEntry()
{
    if (Mode == QLatin1String("VIEW"))
        return true;
    if (!ConfirmChoice(QStringLiteral("入力を取り消しますか"), QStringLiteral("取り消す"),
                       QStringLiteral("入力を続ける")))
        return false;
    const bool newRecord = Mode == QLatin1String("NEW");
    if (newRecord)
        guarded([this] { removeUnreferencedScan(); });
    m_entry->finish();
    Mode = QStringLiteral("VIEW");
    if (!newRecord) {
        guarded([this] { Display(static_cast<std::int32_t>(NumberValue(ID->text()))); });
        return true;
    }
    // Back to the record shown before 追加, or to the empty card when there was none.
    ClearCard();
    setLabelText(*ID, QStringLiteral("0"));
    if (m_desk.viewer)
        setLabelText(*m_desk.viewer->ID, QStringLiteral("0"));
    if (m_shownBeforeAppend > 0)
        guarded([this] { Display(m_shownBeforeAppend); });
    return true;
}

void Info_frm::removeUnreferencedScan()
{
    // Only a scan belongs to the new record; a file taken from the file data folder is the user's.
    if (PendingDir != QLatin1String("_SCAN") || PendingFileName.isEmpty())
        return;
    Recordset rs =
        m_desk.db.openRecordset(QStringLiteral("SELECT * FROM PG WHERE Dir='_SCAN' AND FileName='") +
                                QString(PendingFileName).replace(u'\'', QStringLiteral("''")) + u'\'');
    const bool referenced = !rs.eof();
    rs.close();
    if (!referenced) {
        if (m_desk.viewer)
            m_desk.viewer->pain->clearDisplay();
        QFile::remove(ScanDataFolder.trimmed() + u'/' + PendingFileName);
    }
    PendingDir.clear();
    PendingFileName.clear();
}

void Info_frm::keyPressEvent(QKeyEvent *event)
{
    // The entry's boxes leave Esc to the window.
    if (event->key() == Qt::Key_Escape && Mode != QLatin1String("VIEW")) {
        AbandonEntry();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Info_frm::ExitProgram()
{
    if (!AbandonEntry())
        return;
    if (m_desk.viewer)
        m_desk.viewer->Unload();
    if (m_desk.history)
        m_desk.history->Unload();
    Unload();
    hide();
    if (m_desk.endProgram)
        m_desk.endProgram();
}

void Info_frm::DoAppend(bool aPageMode)
{
    PageMode = aPageMode;
    std::int16_t choice = SelectDevice_frm::Back;
    {
        SelectDevice_frm device(this);
        CenterForm(device);
        device.exec();
        choice = device.DeviceChoice;
    }
    if (choice == SelectDevice_frm::Back)
        return;
    m_shownBeforeAppend = static_cast<std::int32_t>(NumberValue(ID->text()));
    // Without a number (the file locked, say) nothing starts: the card keeps the record it
    // shows, and no capture can land on that record's page file.
    if (!PageMode && !guarded([this] { NewRecordId(); }))
        return;
    if (m_desk.history)
        m_desk.history->hide();
    ClearCard();
    if (!PageMode) {
        // A capture that fails must never leave the new record pointing at an earlier one's page.
        PendingDir.clear();
        PendingFileName.clear();
    }
    if (choice == SelectDevice_frm::Scanner) {
        StartScan();
        return;
    }
    if (!PageMode && m_desk.viewer)
        setLabelText(*m_desk.viewer->ID, ID->text());
    if (!m_getDir)
        m_getDir = new GetDir_frm(this);
    CenterForm(*m_getDir);
    m_getDir->showModal();
    PendingDir = m_getDir->ImportFolder;
    PendingFileName = m_getDir->ImportFile;
    if (!m_getDir->ImportAccepted)
        return;
    if (PageMode) {
        guarded([this] { addImportedPage(*m_getDir); });
        return;
    }
    if (m_desk.viewer)
        m_desk.viewer->DisplayByFileName(PendingDir, PendingFileName);
    Mode = QStringLiteral("NEW");
    BeginEntry();
}

std::int32_t Info_frm::nextRecordId()
{
    Recordset rs = m_desk.db.openRecordset(QStringLiteral("SELECT TOP 1 ID FROM DT ORDER BY ID DESC"));
    const auto id =
        rs.eof() ? 1 : static_cast<std::int32_t>(NullToZero(rs.field(QStringLiteral("ID"))).toInteger() + 1);
    rs.close();
    return id;
}

void Info_frm::NewRecordId()
{
    setLabelText(*ID, QString::number(nextRecordId()));
}

void Info_frm::ClearCard()
{
    m_entry->clear();
    if (m_desk.viewer)
        m_desk.viewer->pain->clearDisplay();
}

std::optional<std::int16_t> Info_frm::nextPage(std::int32_t id)
{
    Recordset rs =
        m_desk.db.openRecordset(QStringLiteral("SELECT TOP 1 * FROM PG ") + QStringLiteral(" WHERE ID=") +
                                NumText(id) + QStringLiteral(" ORDER BY Page DESC"));
    if (rs.eof()) {
        rs.close();
        return std::nullopt;
    }
    const auto page = static_cast<std::int16_t>(NullToZero(rs.field(QStringLiteral("Page"))).toInteger() + 1);
    rs.close();
    return page;
}

void Info_frm::writePage(std::int32_t id, std::int16_t page, const QString &dir, const QString &file)
{
    Recordset rs =
        m_desk.db.openRecordset(QStringLiteral("SELECT * FROM PG ") + QStringLiteral(" WHERE ID=") +
                                NumText(id) + QStringLiteral(" AND   Page=") + NumText(page));
    if (rs.eof()) {
        rs.addNew();
        rs.setField(QStringLiteral("ID"), id);
        rs.setField(QStringLiteral("Page"), page);
    } else {
        rs.edit();
    }
    rs.setField(QStringLiteral("Dir"), dir);
    rs.setField(QStringLiteral("FileName"), file);
    rs.update();
    rs.close();
}

namespace {

// Page mode on a record without any page: its first page only comes with the record itself.
const QString NoPagesYet = QStringLiteral("このレコードにはページがないため、ページを追加できません。");

} // namespace

void Info_frm::addImportedPage(GetDir_frm &import)
{
    const auto id = static_cast<std::int32_t>(NumberValue(ID->text()));
    const std::optional<std::int16_t> page = nextPage(id);
    if (!page) {
        ShowAlert(NoPagesYet);
        return;
    }
    const QString folder = import.ImportFolder.trimmed();
    writePage(id, *page, folder.isEmpty() ? QStringLiteral(" ") : folder, import.ImportFile);
    Display(id);
    if (m_desk.viewer)
        m_desk.viewer->Display(id, *page);
}

Scanner &Info_frm::scanner()
{
    if (!m_scanner) {
        m_scanner = new Scanner(m_desk.db, this);
        connect(m_scanner, &Scanner::pageScanned, this, [this](const QImage &image, int dpi) {
            if (!m_desk.viewer)
                return;
            m_desk.viewer->pain->setScannedImage(image, dpi);
            guarded([this] { ScanCompleted(); });
        });
        connect(m_scanner, &Scanner::scanFailed, this, [](int number, const QString &description) {
            ShowAlert(number == 5 ? QStringLiteral("スキャナを正しく接続してください。")
                                  : QString::number(number) + u'\r' + description);
        });
    }
    return *m_scanner;
}

void Info_frm::StartScan()
{
    // The scanner's own software may change the working folder, where QV.MDB's neighbours
    // (the placeholder page, request files) are looked for: put it back on every path.
    const QString folder = QDir::currentPath();
    try {
        if (scanner().open(this))
            scanner().start(this);
    } catch (const NumberedError &e) {
        ShowAlert(e.number() == 5 ? QStringLiteral("スキャナを正しく接続してください。") : e.alertText());
    }
    QDir::setCurrent(folder);
}

void Info_frm::ScanCompleted()
{
    const auto id = static_cast<std::int32_t>(NumberValue(ID->text()));
    std::optional<std::int16_t> page;
    if (PageMode) {
        page = nextPage(id);
        if (!page) {
            ShowAlert(NoPagesYet);
            return;
        }
    }
    const QString file = ScanFileName(id, page);
    // A page whose file was not written is recorded nowhere; the user hears what failed where.
    const QString folder = ScanDataFolder.trimmed();
    if (folder.isEmpty()) {
        ShowAlert(QStringLiteral("スキャナデータパスが設定されていないため、ページを保存できません。"));
        return;
    }
    // A new record's page is written under a name of its own and then given its SC name,
    // which must still be free: another desk may hold that number's scan, waiting for its save.
    const QString written =
        page ? folder + u'/' + file
             : folder + QStringLiteral("/.%1.%2.part").arg(file).arg(QRandomGenerator::global()->generate());
    try {
        m_desk.viewer->pain->saveAs(written, 1);
    } catch (const NumberedError &e) {
        ShowAlert(QStringLiteral("スキャンしたページを保存できませんでした。") + u'\r' + e.description());
        return;
    }
    PendingDir = QStringLiteral("_SCAN");
    if (page) {
        PendingFileName = file;
        writePage(id, *page, PendingDir, PendingFileName);
        return;
    }
    std::int32_t number = id;
    const bool placed = guarded([&] {
        for (number = freeRecordId(id, true);; number = freeRecordId(number + 1, true)) {
            const QString target = folder + u'/' + ScanFileName(number, std::nullopt);
            if (RenameNoReplace(written, target))
                return;
            if (!QFileInfo::exists(target))
                throw NumberedError(75, QStringLiteral("スキャンしたページを保存できませんでした。") + u'\r' +
                                            target);
        }
    });
    if (!placed) {
        QFile::remove(written);
        m_desk.viewer->pain->clearDisplay();
        PendingDir.clear();
        return;
    }
    PendingFileName = ScanFileName(number, std::nullopt);
    setLabelText(*ID, QString::number(number));
    m_desk.viewer->DisplayByFileName(PendingDir, PendingFileName);
    Mode = QStringLiteral("NEW");
    BeginEntry();
}

void Info_frm::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program like "終了": the other windows are of no use
    // without it.
    event->ignore();
    ExitProgram();
}

} // namespace zumen
