// A desk in a child process for the reliability probes. Through the windows' own code it saves
// new records with their scanned first page, renames records, and (alone on the folder) turns the
// large page of record 1, noting each save in a log, one write per line:
//   try <kind> <key> <value>    before the save
//   done <kind> <key> <value>   after it (a new record's key is then its number)
// "kill" runs until it is killed; "two" runs for a few seconds beside a second desk.
//
//   desk_driver FOLDER LOG TAG kill|two
#include "card/info_frm.h"
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

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 2;
    QDir::setCurrent(args[1]);
    const int log =
        ::open(QFile::encodeName(args[2]).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const QString tag = args[3];
    const bool two = args[4] == QLatin1String("two");
    AlertAnswerer alerts;
    std::unique_ptr<Desk> desk = StartDesk([](const QString &, const QString &text) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    if (!desk || log < 0)
        return 1;
    desk->endProgram = [] {};
    std::printf("ready\n");
    std::fflush(stdout);

    Info_frm &card = *desk->card;
    const auto note = [&](const char *state, const char *kind, const QString &key, const QString &value) {
        const QByteArray line = QStringLiteral("%1 %2 %3 %4\n").arg(state, kind, key, value).toUtf8();
        if (::write(log, line.constData(), static_cast<size_t>(line.size())) != line.size())
            std::abort();
    };
    // Walks the entry from the name box to its save; true when saved without an alert.
    const auto enter = [&](const QString &name) {
        const qsizetype before = alerts.texts().size();
        card.eNamae->setText(name);
        QTest::keyClick(card.eNamae, Qt::Key_Return);
        for (int i = 0; i < 12 && card.session().mode != CardSession::Mode::View; ++i)
            QTest::keyClick(card.eNaiyou, Qt::Key_Return);
        return card.session().mode == CardSession::Mode::View && alerts.texts().size() == before;
    };
    QRandomGenerator random(static_cast<quint32>(qHash(tag)));
    QList<int> own; // records this desk may rename: its own beside another desk
    if (!two)
        own = {1, 2, 3, 4, 5};
    QElapsedTimer clock;
    clock.start();
    for (int count = 1; !two || clock.elapsed() < 4000; ++count) {
        const QString name = tag + u'-' + QString::number(count);
        const int action = static_cast<int>(random.bounded(4U));
        if (action < 2 || own.isEmpty()) {
            // A page as a scanner delivers it; its size tells whose record it belongs to.
            note("try", "new", QStringLiteral("-"), name);
            card.session().pageMode = false;
            card.NewRecordId();
            card.ClearCard();
            card.session().pendingDir.clear();
            card.session().pendingFile.clear();
            QImage page(300 + count, tag.endsWith(u'B') ? 201 : 200, QImage::Format_Mono);
            page.fill(0);
            desk->viewer->pain->setScannedImage(page, 200);
            card.ScanCompleted();
            card.ScanFinished();
            if (card.session().mode == CardSession::Mode::New && enter(name)) {
                note("done", "new", card.ID->text(), name);
                own << card.ID->text().toInt();
            }
        } else if (action == 2 || two) {
            const int id = own[static_cast<qsizetype>(random.bounded(static_cast<quint32>(own.size())))];
            card.Display(id);
            if (card.ID->text().toInt() != id)
                continue;
            note("try", "name", QString::number(id), name);
            card.StartEdit();
            if (enter(name))
                note("done", "name", QString::number(id), name);
        } else {
            // The large page of record 1; a turn that was not kept leaves the file as it was.
            desk->viewer->Display(1, 1);
            desk->viewer->pain->waitForPage();
            const QSize before = desk->viewer->pain->imagePixelSize();
            const QString turned = QStringLiteral("%1x%2").arg(before.height()).arg(before.width());
            note("try", "turn", QStringLiteral("1"), turned);
            desk->viewer->Rotate(1);
            if (desk->viewer->pain->imagePixelSize() == before.transposed())
                note("done", "turn", QStringLiteral("1"), turned);
        }
        QCoreApplication::processEvents();
    }
    ::close(log);
    return 0;
}
