#pragma once

#include <QDialog>

#include <array>
#include <cstdint>

class QPushButton;

namespace zumen {

// Asks where a page comes from: the scanner, an image file, or nowhere.
class SelectDevice_frm : public QDialog {
    Q_OBJECT
public:
    static constexpr std::int16_t Scanner = 0;
    static constexpr std::int16_t File = 1;
    static constexpr std::int16_t Back = 2;

    explicit SelectDevice_frm(QWidget *parent = nullptr);

    // The button pressed; the close box counts as "戻る".
    std::int16_t DeviceChoice = Back;
    std::array<QPushButton *, 3> Command{};

protected:
    void closeEvent(QCloseEvent *event) override;
};

} // namespace zumen
