#include "db/archive.h"
#include "layout/desgn_frm.h"
#include "options/opt_frm.h"
#include "search/search_session.h"
#include "search/srch_frm.h"
#include "support/temp_db.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace zumen;

namespace {

// A window whose entry fields are walked with Enter (forward) and Up (back), and its fields
// in walking order.
struct Walk {
    const char *name;
    std::function<QWidget *(Archive &, SearchSession &)> open;
    QStringList fields;
};

// So that test lists and failures name the window, not the parameter's bytes.
void PrintTo(const Walk &walk, std::ostream *os)
{
    *os << walk.name;
}

class FieldWalk : public ::testing::TestWithParam<Walk> {};

QString focused()
{
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

TEST_P(FieldWalk, EnterGoesForwardAndUpComesBack)
{
    TempDb t;
    Archive archive(Database::open(t.path()));
    SearchSession session;
    std::unique_ptr<QWidget> window(GetParam().open(archive, session));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QStringList &fields = GetParam().fields;
    window->findChild<QWidget *>(fields.first())->setFocus();
    for (qsizetype i = 1; i < fields.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(focused(), fields[i]);
    }
    for (qsizetype i = fields.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        EXPECT_EQ(focused(), fields[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, FieldWalk,
    ::testing::Values(
        Walk{"Options",
             [](Archive &a, SearchSession &) { return new Opt_frm(a); },
             {QStringLiteral("ebox(0)"), QStringLiteral("ebox(1)"), QStringLiteral("RecField")}},
        Walk{"Designer",
             [](Archive &a, SearchSession &) { return new Desgn_frm(a, QStringLiteral("Main")); },
             {QStringLiteral("cbox"), QStringLiteral("ebox(0)"), QStringLiteral("ebox(1)")}},
        Walk{"Search",
             [](Archive &a, SearchSession &s) { return new Srch_frm(a, s); },
             {QStringLiteral("cbox(0)"), QStringLiteral("cbox(1)"), QStringLiteral("ebox")}}),
    [](const ::testing::TestParamInfo<Walk> &walk) { return std::string(walk.param.name); });

} // namespace
