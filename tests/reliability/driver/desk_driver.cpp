// A desk in a child process for the reliability probes. It saves, one after another and
// through the windows' own code, new records with their scanned first page, edits, history
// entries, layouts, options and turns of a page, and notes each in a log:
//   try <kind> <key> <value>    before the save
//   done <kind> <key> <value>   after its commit (a new record's key is then its number)
//   fail <kind> <key> <value>   the desk reported a fault
// Kind "kill" runs until it is killed; kind "two" adds and edits its own records for a few
// seconds, as a second desk on the same folder would.
//
//   desk_driver FOLDER LOG TAG kill|two [SECONDS]
#include "card/info_frm.h"
#include "db/db_error.h"
#include "history/history_frm.h"
#include "layout/desgn_frm.h"
#include "options/opt_frm.h"
#include "pages/drawing_frm.h"
#include "pages/pain.h"
#include "shell/desk.h"
#include "shell/startup.h"
#include "support/modal.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

using namespace zumen;

namespace {

int logFile = -1;

// One write per line, so that a kill never leaves half a line that claims anything.
void note(const QString &state, const QString &kind, const QString &key, const QString &value)
{
    const QByteArray line = (QStringList{state, kind, key, value}.join(u' ') + u'\n').toUtf8();
    if (::write(logFile, line.constData(), static_cast<size_t>(line.size())) != line.size())
        std::abort();
}

// Walks the entry from the name box to its save.
void enter(QLineEdit *name, QLineEdit *value, const QString &text, const std::function<bool()> &saved)
{
    name->setText(text);
    QTest::keyClick(name, Qt::Key_Return);
    for (int i = 0; i < 12 && !saved(); ++i)
        QTest::keyClick(value, Qt::Key_Return);
}

class Driver {
public:
    Driver(Desk &desk, const QString &tag, AlertAnswerer &alerts) : m_desk(desk), m_tag(tag), m_alerts(alerts)
    {}

    // A page as a scanner delivers it; its size tells whose record it belongs to.
    int newRecord()
    {
        Info_frm &card = *m_desk.card;
        const QString name = nextName();
        note(QStringLiteral("try"), QStringLiteral("new"), QStringLiteral("-"), name);
        const qsizetype alerts = m_alerts.texts().size();
        card.session().pageMode = false;
        card.NewRecordId();
        card.ClearCard();
        card.session().pendingDir.clear();
        card.session().pendingFile.clear();
        QImage page(300 + m_count, m_tag.endsWith(u'B') ? 201 : 200, QImage::Format_Mono);
        page.fill(0);
        m_desk.viewer->pain->setScannedImage(page, 200);
        card.ScanCompleted();
        if (card.session().mode == CardSession::Mode::New)
            enter(card.eNamae, card.eNaiyou, name,
                  [&] { return card.session().mode == CardSession::Mode::View; });
        const bool ok = card.session().mode == CardSession::Mode::View && m_alerts.texts().size() == alerts;
        note(ok ? QStringLiteral("done") : QStringLiteral("fail"), QStringLiteral("new"),
             ok ? card.ID->text() : QStringLiteral("-"), name);
        return ok ? card.ID->text().toInt() : 0;
    }

    bool edit(int id)
    {
        Info_frm &card = *m_desk.card;
        card.Display(id);
        if (card.ID->text().toInt() != id)
            return false;
        const QString name = nextName();
        return attempt(QStringLiteral("name"), QString::number(id), name, [&] {
            card.StartEdit();
            enter(card.eNamae, card.eNaiyou, name,
                  [&] { return card.session().mode == CardSession::Mode::View; });
            return card.session().mode == CardSession::Mode::View;
        });
    }

    void historyEntry(int id)
    {
        History_frm &history = *m_desk.history;
        history.Init(id);
        const QString name = nextName();
        note(QStringLiteral("try"), QStringLiteral("hist"), QString::number(id), name);
        const qsizetype alerts = m_alerts.texts().size();
        history.AddEntry();
        enter(history.eNamae, history.eNaiyou, name,
              [&] { return history.session().mode == CardSession::Mode::View; });
        const bool ok =
            history.session().mode == CardSession::Mode::View && m_alerts.texts().size() == alerts;
        note(ok ? QStringLiteral("done") : QStringLiteral("fail"), QStringLiteral("hist"),
             QStringLiteral("%1/%2").arg(id).arg(history.Page->text()), name);
    }

    void layout()
    {
        auto *designer = new Desgn_frm(m_desk, QStringLiteral("Main"));
        const QString label = QStringLiteral("L") + nextName();
        attempt(QStringLiteral("layout"), QStringLiteral("0"), label, [&] {
            designer->findChild<QLineEdit *>(QStringLiteral("ebox(0)"))->setText(label);
            designer->StoreItem();
            designer->WriteLayout();
            return true;
        });
        designer->close();
    }

    void options()
    {
        auto *options = new Opt_frm(m_desk);
        const QString folder = QStringLiteral("files/o") + nextName();
        attempt(QStringLiteral("opt"), QStringLiteral("12"), folder, [&] {
            options->findChild<QLineEdit *>(QStringLiteral("ebox(1)"))
                ->setText(QDir::current().filePath(folder));
            options->Register(QString());
            return true;
        });
        options->close();
    }

    // The large page of record 1; a turn that was not kept shows the file as it was.
    void rotate()
    {
        Drawing_frm &viewer = *m_desk.viewer;
        viewer.Display(1, 1);
        const QSize before = viewer.pain->imagePixelSize();
        if (before.isEmpty())
            return;
        const QString turned = QStringLiteral("%1x%2").arg(before.height()).arg(before.width());
        attempt(QStringLiteral("rot"), QStringLiteral("1"), turned, [&] {
            viewer.Rotate(1);
            return viewer.pain->imagePixelSize() == before.transposed();
        });
    }

private:
    QString nextName() { return m_tag + u'-' + QString::number(++m_count); }

    template <typename Save>
    bool attempt(const QString &kind, const QString &key, const QString &value, Save &&save)
    {
        note(QStringLiteral("try"), kind, key, value);
        const qsizetype alerts = m_alerts.texts().size();
        bool ok = false;
        try {
            ok = save();
        } catch (const NumberedError &) {
        }
        ok = ok && m_alerts.texts().size() == alerts;
        note(ok ? QStringLiteral("done") : QStringLiteral("fail"), kind, key, value);
        return ok;
    }

    Desk &m_desk;
    QString m_tag;
    int m_count = 0;
    AlertAnswerer &m_alerts;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 2;
    QDir::setCurrent(args[1]);
    logFile = ::open(QFile::encodeName(args[2]).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const bool two = args[4] == QLatin1String("two");
    AlertAnswerer alerts;
    std::unique_ptr<Desk> desk = StartDesk([](const QString &, const QString &text) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    if (!desk || logFile < 0)
        return 1;
    desk->endProgram = [] {};
    std::printf("ready\n");
    std::fflush(stdout);

    Driver driver(*desk, args[3], alerts);
    QRandomGenerator random(static_cast<quint32>(qHash(args[3])));
    QList<int> own;
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = args.value(5, QStringLiteral("3")).toLongLong() * 1000;
    while (!two || clock.elapsed() < limit) {
        const int action = static_cast<int>(random.bounded(two ? 3 : 8));
        if (two) {
            if (action > 0 || own.isEmpty()) {
                if (const int id = driver.newRecord())
                    own << id;
            } else {
                driver.edit(own[static_cast<qsizetype>(random.bounded(static_cast<quint32>(own.size())))]);
            }
            continue;
        }
        switch (action) {
        case 0:
        case 1:
            driver.newRecord();
            break;
        case 2:
            driver.edit(1 + static_cast<int>(random.bounded(20U)));
            break;
        case 3:
            driver.historyEntry(1 + static_cast<int>(random.bounded(5U)));
            break;
        case 4:
            driver.layout();
            break;
        case 5:
            driver.options();
            break;
        default:
            driver.rotate();
            break;
        }
        QCoreApplication::processEvents();
    }
    ::close(logFile);
    return 0;
}
