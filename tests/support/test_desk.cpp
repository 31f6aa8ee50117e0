#include "support/test_desk.h"

#include "card/info_frm.h"
#include "shell/startup.h"
#include "support/modal.h"

#include "db/folders.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

TestDesk::TestDesk(zumen::Dialect dialect) : m_temp(dialect)
{
    if (m_temp.conninfo().isEmpty())
        return;
    QFile server(QDir(m_temp.folder()).filePath(zumen::WorkingFolder::ServerFile));
    if (!server.open(QIODevice::WriteOnly) || server.write(m_temp.conninfo().toUtf8()) < 0)
        throw std::runtime_error("QV.SERVER could not be written");
}

zumen::Database TestDesk::otherDesk()
{
    return m_temp.conninfo().isEmpty() ? zumen::Database::open(m_temp.path())
                                       : zumen::Database::connect(m_temp.conninfo());
}

TestDesk::~TestDesk() = default;

zumen::Desk &TestDesk::open()
{
    m_inFolder.emplace(m_temp.folder());
    // Start-up may tell of folders it rewrote relative.
    AlertAnswerer notices;
    m_desk = zumen::StartDesk([](const QString &title, const QString &text) {
        ADD_FAILURE() << title.toStdString() << ": " << text.toStdString();
    });
    if (!m_desk)
        throw std::runtime_error("the desk did not start");
    m_desk->endProgram = [this] { m_ended = true; };
    if (!QTest::qWaitForWindowExposed(m_desk->card))
        ADD_FAILURE() << "the record card never showed";
    m_desk->card->activateWindow();
    if (!QTest::qWaitForWindowActive(m_desk->card))
        ADD_FAILURE() << "the record card never became active";
    return *m_desk;
}
