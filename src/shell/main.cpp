#include "shell/startup.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    zumen::installFontSubstitutions();
    app.setFont(zumen::windowFont(zumen::ProportionalGothic, 10));
    // The program ends through the record card's "終了", not when a window happens to close.
    app.setQuitOnLastWindowClosed(false);

    zumen::DeskRun run(
        [](const QString &title, const QString &text) {
            QMessageBox box(QMessageBox::NoIcon, title, zumen::displayText(text), QMessageBox::Ok);
            box.exec();
        },
        [] { QApplication::exit(0); });
    if (!run.start())
        return 1;
    return app.exec();
}
