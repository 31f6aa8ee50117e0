#pragma once

#include <QFile>
#include <QMutex>
#include <QString>
#include <QtGlobal>

namespace zumen {

// The run's log, a file a user can attach to a report: while an AppLog lives every message
// goes to <folder>/zumen.log with its time, level and category, and warnings, errors and
// enabled debug messages still go to standard error as before. At the size limit the file
// moves to zumen.log.1 (older ones to .2 and .3; the oldest is dropped). A folder that
// cannot be written loses the log, never the program.
class AppLog {
public:
    static constexpr qint64 DefaultLimit = 1024 * 1024;
    static constexpr int Kept = 3;

    explicit AppLog(const QString &folder, qint64 limit = DefaultLimit);
    ~AppLog();
    AppLog(const AppLog &) = delete;
    AppLog &operator=(const AppLog &) = delete;

    // $XDG_STATE_HOME/zumen, by default ~/.local/state/zumen.
    static QString defaultFolder();
    QString path() const { return m_file.fileName(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);
    void write(QtMsgType type, const QMessageLogContext &context, const QString &message);
    void rotate();

    QMutex m_mutex;
    QFile m_file;
    qint64 m_limit;
    QtMessageHandler m_previous = nullptr;
};

} // namespace zumen
