#include "support/test_desk.h"

#include "card/info_frm.h"
#include "shell/startup.h"
#include "support/modal.h"

#include <QTest>

#include <gtest/gtest.h>

TestDesk::TestDesk() = default;

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
