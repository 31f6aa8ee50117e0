#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace zumen {

// Where 追加 gets its page: the scanner or an image file. The pages side implements it and
// the desk hands it to the card; the card keeps the records and the page file names.
class PageSource {
public:
    enum class Kind { Back, Scanner, File };
    struct File {
        QString folder; // relative to the file data folder, "" for the folder itself
        QString name;
    };

    virtual ~PageSource() = default;
    // Asks the user where the page comes from.
    virtual Kind choose(QWidget *owner) = 0;
    // Asks for an image file below the file data folder; none when the user cancels.
    virtual std::optional<File> chooseFile(QWidget *owner) = 0;
    // Opens the scanner and starts a scan. `scanned` runs for each sheet once it stands in the
    // viewer (a document feeder gives several, in order) and says whether the sheet was kept:
    // false ends the scan. `finished` runs once the scan is over, however it ended. What
    // fails is told to the user here.
    virtual void scan(QWidget *owner, std::function<bool()> scanned, std::function<void()> finished) = 0;
    // Writes the scanned page as a TIFF file; throws NumberedError.
    virtual void writeScan(const QString &path) = 0;
};

} // namespace zumen
