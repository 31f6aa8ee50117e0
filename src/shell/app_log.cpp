#include "shell/app_log.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QScopeGuard>

#include <atomic>

namespace zumen {

namespace {

// The log messages go to; set and cleared by the thread that made it.
std::atomic<AppLog *> current = nullptr;
constexpr QIODevice::OpenMode Append = QIODevice::WriteOnly | QIODevice::Append;

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

} // namespace

AppLog::AppLog(const QString &folder, qint64 limit)
    : m_file(QDir(folder).filePath(QStringLiteral("zumen.log"))), m_limit(limit)
{
    m_previous = qInstallMessageHandler(&AppLog::handle);
    current = this;
}

AppLog::~AppLog()
{
    qInstallMessageHandler(m_previous);
    current = nullptr;
}

QString AppLog::defaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // A relative XDG_STATE_HOME is to be ignored, as XDG says.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(state).filePath(QStringLiteral("zumen"));
}

void AppLog::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    AppLog *log = current;
    if (!log)
        return;
    log->write(type, context, message);
    // Information is for the log alone: a normal run stays quiet on the terminal.
    if (type != QtInfoMsg && log->m_previous)
        log->m_previous(type, context, message);
}

void AppLog::write(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // A warning from the file functions themselves goes to standard error alone.
    static thread_local bool writing = false;
    if (writing)
        return;
    writing = true;
    const auto done = qScopeGuard([] { writing = false; });
    const QByteArray line =
        QStringLiteral("%1 %2 %3: %4\n")
            .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs), QLatin1String(levelName(type)),
                 QLatin1String(context.category ? context.category : "default"), message)
            .toUtf8();
    QMutexLocker lock(&m_mutex);
    // Opened on the first message, and tried again with each next one while it cannot be:
    // the folder may become writable.
    if (!m_file.isOpen() && !(QDir().mkpath(QFileInfo(m_file).path()) && m_file.open(Append)))
        return;
    if (m_file.size() > 0 && m_file.size() + line.size() > m_limit) {
        rotate();
        if (!m_file.open(Append))
            return;
    }
    m_file.write(line);
    m_file.flush(); // a run that crashes next keeps what led up to it
}

void AppLog::rotate()
{
    m_file.close();
    const QString name = m_file.fileName();
    QFile::remove(name + QStringLiteral(".%1").arg(Kept));
    for (int n = Kept - 1; n >= 1; --n)
        QFile::rename(name + QStringLiteral(".%1").arg(n), name + QStringLiteral(".%1").arg(n + 1));
    QFile::rename(name, name + QStringLiteral(".1"));
}

} // namespace zumen
