#pragma once

#include "platform/browserengine.h"

// QTEST_MAIN for tests that show windows with browsers.
#define SKIRVANE_WINDOW_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char *argv[])                                                                        \
    {                                                                                                       \
        BrowserEngine::prepareUnattended();                                                                 \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                         \
        QApplication app(argc, argv);                                                                       \
        TestObject tc;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                          \
        return QTest::qExec(&tc, argc, argv);                                                               \
    }
