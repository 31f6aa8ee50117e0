#include "pages/select_device_frm.h"

#include "widgets/ui.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>

namespace zumen {

SelectDevice_frm::SelectDevice_frm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("デバイス選択"));
    nameControl(*this, QStringLiteral("SelectDevice_frm"), QStringLiteral("デバイス選択"));
    auto *row = new QHBoxLayout(this);
    static const char *const captions[] = {"スキャナ", "ファイル", "戻る"};
    for (int i = 0; i < 3; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(captions[i]));
        nameControl(*button, QStringLiteral("Command(%1)").arg(i), button->text());
        button->setFont(windowFont(ProportionalGothic, 12));
        button->setMinimumSize(twipsToPixels(1500), twipsToPixels(600));
        Command[static_cast<std::size_t>(i)] = button;
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, i] {
            DeviceChoice = static_cast<std::int16_t>(i);
            hide();
        });
    }
    Command[0]->setDefault(true);
    Command[0]->setFocus();
}

void SelectDevice_frm::closeEvent(QCloseEvent *event)
{
    DeviceChoice = Back;
    QDialog::closeEvent(event);
}

} // namespace zumen
