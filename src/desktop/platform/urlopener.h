#pragma once

#include "common/expected.h"

#include <QString>

// Opens a web page in the desktop's browser and returns at once, without
// waiting for the browser or looking at its outcome. On Linux the address
// goes, as the one argument, to "xdg-open" found on PATH; on Windows to
// explorer.exe, quoted, its window shown minimized.
//
// Not final: tests put a recording opener in its place.
class UrlOpener
{
public:
    UrlOpener() = default;
    virtual ~UrlOpener() = default;
    Q_DISABLE_COPY_MOVE(UrlOpener)

    // Done when the opener was started; else a fault naming the address and
    // the reason. The address is taken as it is: no escaping, no encoding,
    // no trimming.
    virtual common::Expected<common::Done> open(const QString &address);
};
