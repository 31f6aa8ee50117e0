#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMessageBox::information(nullptr, QStringLiteral("図面"),
                             QStringLiteral("作業フォルダの準備ができました。情報カードはまだありません。"));
    return 0;
}
