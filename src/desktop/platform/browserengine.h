#pragma once

#include <QtGlobal>

#include <unistd.h>

// The browser engine run unattended, by the tests and the benchmarks: as
// root it refuses to start with its sandbox on (test machines run as root;
// ordinary users keep the sandbox), a headless display has no GPU, and
// nothing may call out to the network. Call before the application object
// exists; settings already made in the environment win.
namespace BrowserEngine {

inline void prepareUnattended()
{
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking --no-first-run");
}

}
