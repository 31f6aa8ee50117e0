#include "shell/app_log.h"
#include "shell/command_line.h"
#include "shell/recent_folders.h"
#include "shell/startup.h"
#include "text/log.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QSettings>

int main(int argc, char *argv[])
{
    // Help and version are read on a terminal, perhaps one without a display.
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if ((arg == "--help" || arg == "-h" || arg == "--help-all" || arg == "--version" || arg == "-v") &&
            qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zumen"));
    QApplication::setOrganizationName(QStringLiteral("zumen"));
    QApplication::setApplicationVersion(QStringLiteral(ZUMEN_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.zumen.Zumen"));
    const QIcon icon = QIcon::fromTheme(QStringLiteral("jp.zumen.Zumen"));
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
    zumen::AppLog log(zumen::AppLog::defaultFolder());
    zumen::loadQtTranslations(app);
    zumen::installFontSubstitutions();
    app.setFont(zumen::windowFont(zumen::ProportionalGothic, 10));
    // The program ends through the record card's "終了", not when a window happens to close.
    app.setQuitOnLastWindowClosed(false);

    QSettings settings;
    zumen::RecentFolders recent(settings);
    if (const std::optional<int> status = zumen::enterWorkingFolder(QApplication::arguments(), recent))
        return *status;
    qCInfo(zumen::logStart).noquote()
        << "zumen" << QApplication::applicationVersion() << "Qt" << qVersion() << "in" << QDir::currentPath();

    zumen::DeskRun run(
        [](const QString &title, const QString &text) {
            qCWarning(zumen::logStart).noquote() << "start-up failed:" << text;
            QMessageBox box(QMessageBox::NoIcon, title, zumen::displayText(text), QMessageBox::Ok);
            box.exec();
        },
        [] { QApplication::exit(0); });
    if (!run.start())
        return 1;
    recent.add(QDir::currentPath());
    return app.exec();
}
