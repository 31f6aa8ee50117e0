#pragma once

#include <QStringList>

class QSettings;

namespace zumen {

// Whether the folder holds a QV.MDB file (whatever is in it: start-up says what is wrong).
bool isWorkingFolder(const QString &folder);

// The working folders opened lately, most recent first, kept in the settings under
// "recentFolders". A folder is kept by its canonical path, so one reached by two ways
// (a link, "..", a trailing slash) is one entry.
class RecentFolders {
public:
    static constexpr int Max = 10;

    explicit RecentFolders(QSettings &settings) : m_settings(settings) {}

    // The kept folders that still hold a QV.MDB. One that lost it (a drive not mounted
    // today, say) stays kept until newer ones push it out.
    QStringList folders() const;
    // Puts the folder first.
    void add(const QString &folder);

private:
    QSettings &m_settings;
};

} // namespace zumen
