#pragma once

#include <QtGlobal>

#include <unistd.h>

// Settings the browser engine needs before the application object exists:
// as root it refuses to start with its sandbox on (test machines run as root;
// ordinary users keep the sandbox), and a headless display has no GPU.
inline void prepareBrowserEngineForTests()
{
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking --no-first-run");
}

// QTEST_MAIN for tests that show windows with browsers.
#define SKIRVANE_WINDOW_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char *argv[])                                                                        \
    {                                                                                                       \
        prepareBrowserEngineForTests();                                                                     \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                         \
        QApplication app(argc, argv);                                                                       \
        TestObject tc;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                          \
        return QTest::qExec(&tc, argc, argv);                                                               \
    }
