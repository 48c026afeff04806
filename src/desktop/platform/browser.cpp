#include "platform/browser.h"

#include <QApplication>
#include <QFocusEvent>
#include <QVBoxLayout>
#include <QWebEngineView>

Browser::Browser(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void Browser::navigate(const QString &address)
{
    if (!m_view) {
        m_view = new QWebEngineView(this);
        layout()->addWidget(m_view);
        connect(m_view, &QWebEngineView::loadFinished, this, &Browser::loadFinished);
        m_view->installEventFilter(this);
        m_view->show();
    }
    // Tolerant parsing keeps the text as typed; blanks and other characters
    // that may not stand in a URL are percent-encoded only on the wire.
    m_view->load(QUrl(address, QUrl::TolerantMode));
}

QUrl Browser::url() const
{
    return m_view ? m_view->url() : QUrl();
}

QString Browser::title() const
{
    return m_view ? m_view->title() : QString();
}

void Browser::focusInEvent(QFocusEvent *event)
{
    // This widget keeps its stop for the Tab key; the page takes the keys.
    if (m_view)
        m_view->setFocus(event->reason());
    else
        QWidget::focusInEvent(event);
}

bool Browser::eventFilter(QObject *watched, QEvent *event)
{
    // The page's widgets come with the page and would join the tab order at
    // its end; this widget keeps the page's one stop instead.
    if (watched == m_view && event->type() == QEvent::ChildAdded)
        QMetaObject::invokeMethod(this, &Browser::keepPageOutOfTabOrder, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void Browser::keepPageOutOfTabOrder()
{
    for (QWidget *w : QWidgetList{m_view} + m_view->findChildren<QWidget *>())
        w->setFocusPolicy(Qt::ClickFocus);
}

bool Browser::focusNextPrevChild(bool next)
{
    // The page hands the Tab key back here when it is done with it; it goes
    // on from this widget's place in the tab order.
    if (!m_view || !m_view->isAncestorOf(QApplication::focusWidget()))
        return QWidget::focusNextPrevChild(next);
    for (QWidget *w = next ? nextInFocusChain() : previousInFocusChain(); w != this;
         w = next ? w->nextInFocusChain() : w->previousInFocusChain()) {
        if (!isAncestorOf(w) && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}
