#include "support/test_desk.h"

#include "card/info_frm.h"
#include "db/layouts.h"
#include "history/history_frm.h"
#include "history/memo_frm.h"
#include "pages/drawing_frm.h"
#include "shell/globals.h"
#include "shell/startup.h"

#include <QTest>

#include <gtest/gtest.h>

TestDesk::TestDesk()
{
    zumen::ScanDataFolder.clear();
    zumen::FileDataFolder.clear();
    zumen::SearchActive = false;
    zumen::DesignTarget.clear();
}

TestDesk::~TestDesk() = default;

zumen::Desk &TestDesk::open()
{
    m_desk = std::make_unique<zumen::Desk>(zumen::Database::open(m_temp.path()));
    zumen::LoadLayouts(m_desk->db);
    zumen::ReadFolderOptions(m_desk->db);
    m_desk->scanFolder = zumen::ScanDataFolder;
    m_desk->fileFolder = zumen::FileDataFolder;
    m_desk->card = new zumen::Info_frm(*m_desk);
    m_desk->viewer = new zumen::Drawing_frm(*m_desk);
    m_desk->history = new zumen::History_frm(*m_desk);
    m_desk->memo = new zumen::Memo_frm;
    m_desk->connectWindows();
    m_desk->endProgram = [this] { m_ended = true; };
    m_desk->card->show();
    m_desk->viewer->show();
    if (!QTest::qWaitForWindowExposed(m_desk->card))
        ADD_FAILURE() << "the record card never showed";
    m_desk->card->activateWindow();
    if (!QTest::qWaitForWindowActive(m_desk->card))
        ADD_FAILURE() << "the record card never became active";
    return *m_desk;
}
