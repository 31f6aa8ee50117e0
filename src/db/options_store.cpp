#include "db/options_store.h"

#include "db/database.h"
#include "db/folders.h"
#include "db/upsert.h"
#include "text/utility.h"

#include <QFileInfo>

namespace zumen {

std::optional<QString> OptionsStore::find(int code)
{
    Statement row =
        m_db.prepare(QStringLiteral("SELECT Contents FROM UserOP WHERE Code=?1 ORDER BY rowid LIMIT 1"));
    row.bind(1, code);
    if (!row.step())
        return std::nullopt;
    return NullToEmpty(row.column(0)).toString();
}

QString OptionsStore::read(int code)
{
    return find(code).value_or(QString()).trimmed();
}

void OptionsStore::write(int code, const QString &text)
{
    upsertRow(m_db, QStringLiteral("UserOP"), {{QStringLiteral("Code"), code}},
              {{QStringLiteral("Contents"), EmptyToSpace(text)}});
}

void OptionsStore::write(const QList<std::pair<int, QString>> &rows)
{
    Transaction transaction(m_db);
    for (const auto &[code, text] : rows)
        write(code, text);
    transaction.commit();
}

std::optional<QString> OptionsStore::folder(int code)
{
    const std::optional<QString> stored = find(code);
    if (!stored)
        return std::nullopt;
    return WorkingFolder::absoluteFolder(*stored, workingFolder());
}

void OptionsStore::writeFolders(const QString &scanFolder, const QString &fileFolder)
{
    // Both rows or neither: a failure half way must not leave one folder changed.
    Transaction transaction(m_db);
    const QString working = workingFolder();
    write(OptionCode::ScanFolder, WorkingFolder::storedFolder(scanFolder.trimmed(), working));
    write(OptionCode::FileFolder, WorkingFolder::storedFolder(fileFolder.trimmed(), working));
    transaction.commit();
}

std::optional<int> OptionsStore::viewerZoom()
{
    bool ok = false;
    const int zoom = read(OptionCode::ViewerZoom).toInt(&ok);
    return ok ? std::optional<int>(zoom) : std::nullopt;
}

void OptionsStore::writeViewerZoom(int zoom)
{
    write(OptionCode::ViewerZoom, QString::number(zoom));
}

QString OptionsStore::workingFolder() const
{
    return QFileInfo(m_db.path()).absolutePath();
}

} // namespace zumen
