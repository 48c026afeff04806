#pragma once

#include <QString>

#include <optional>

// Why a page could not be opened: the address and the reason.
struct OpenFailure
{
    QString message;
};

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

    // Nothing when the opener was started. The address is taken as it is:
    // no escaping, no encoding, no trimming.
    [[nodiscard]] virtual std::optional<OpenFailure> open(const QString &address);
};
