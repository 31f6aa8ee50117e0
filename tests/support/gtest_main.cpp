#include <QApplication>

#include <gtest/gtest.h>

// Leaks that are the libraries' own, built into every test program so they hold however the
// program is started: font configuration caches live for the process, and SANE's test backend
// loses its reader thread's picture buffer when a scan ends (the tests keep it loaded so that
// the rule matches).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libsane-test.so\n";
}

// One main for every test program: widget tests need a QApplication, and no test needs a display.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
