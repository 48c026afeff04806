#pragma once

#include <QString>

// The three values that name a game server. They are free text: nothing
// trims, checks or encodes them on their way into an address.
struct ServerValues
{
    QString address;
    QString queryPort;
    QString webPort;

    bool operator==(const ServerValues &) const = default;
};

namespace QueryAddress {

// "http://<host>/Zyr/Skirvane/skirvane.php?serverip="
QString mainQueryBase(const QString &mainQueryHost);
// "http://<host>/Skirvane/skirvane.php?serverip="
QString favoritesQueryBase(const QString &favoritesQueryHost);
// "http://<host>/Zyr/04query.html", the main window's first page.
QString mainStartPage(const QString &mainQueryHost);

// base + address + "&serverqport=" + query port + "&serverwport=" + web port,
// by plain concatenation: a value holding "&" or "=" changes the address.
QString compose(const QString &base, const ServerValues &values);

}
