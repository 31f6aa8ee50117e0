#include <QApplication>

#include <gtest/gtest.h>

// The libraries' own leaks, here so they hold however a test program is started: font
// caches live for the process; SANE's test backend loses a buffer when a scan ends.
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
