#include "platform/browser.h"

#include <QUrl>

Browser::Browser(QWidget *parent)
    : QWebEngineView(parent)
{
}

void Browser::Navigate(const QString &address)
{
    // Tolerant parsing keeps the text as typed; blanks and other characters
    // that may not stand in a URL are percent-encoded only on the wire.
    load(QUrl(address, QUrl::TolerantMode));
}
