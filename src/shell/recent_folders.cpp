#include "shell/recent_folders.h"

#include "db/folders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace zumen {

namespace {

const QString Key = QStringLiteral("recentFolders");

QString canonical(const QString &folder)
{
    const QString path = QFileInfo(folder).canonicalFilePath();
    return path.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : path;
}

} // namespace

bool isWorkingFolder(const QString &folder)
{
    return WorkingFolder::holdsArchive(folder);
}

QStringList RecentFolders::folders() const
{
    QStringList present;
    for (const QString &folder : m_settings.value(Key).toStringList()) {
        if (isWorkingFolder(folder))
            present << folder;
    }
    return present;
}

void RecentFolders::add(const QString &folder)
{
    const QString path = canonical(folder);
    QStringList kept = m_settings.value(Key).toStringList();
    kept.removeAll(path);
    kept.prepend(path);
    m_settings.setValue(Key, kept.mid(0, Max));
    m_settings.sync();
}

} // namespace zumen
