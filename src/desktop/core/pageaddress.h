#pragma once

#include <QString>

// The web pages the program opens in the desktop's browser.
namespace PageAddress {

// "http://<host>:5080/ServerAdmin/settings/general"; the port is always written out.
QString adminPage(const QString &adminHost);
// "http://<host>" and nothing after the host, not even "/".
QString updatePage(const QString &siteHost);

}
