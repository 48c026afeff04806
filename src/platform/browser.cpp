#include "platform/browser.h"

#include <QShowEvent>
#include <QUrl>

Browser::Browser(QWidget *parent)
    : QWebEngineView(parent)
{
    // Blank until a page exists, and still a stop for the Tab key.
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void Browser::Navigate(const QString &address)
{
    if (!m_hasPage) {
        m_hasPage = true;
        // The view was shown without a page; let the page know it is seen.
        if (isVisible()) {
            QShowEvent shown;
            QWebEngineView::showEvent(&shown);
        }
    }
    // Tolerant parsing keeps the text as typed; blanks and other characters
    // that may not stand in a URL are percent-encoded only on the wire.
    load(QUrl(address, QUrl::TolerantMode));
}

void Browser::showEvent(QShowEvent *event)
{
    // Showing the view would create its page; a blank browser needs none.
    if (m_hasPage)
        QWebEngineView::showEvent(event);
    else
        QWidget::showEvent(event);
}
