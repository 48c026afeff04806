#pragma once

#include <QUrl>
#include <QWidget>

class QWebEngineView;

// The embedded browser. navigate() starts loading an address and returns at
// once; nobody waits for the page or looks at it. Until its first navigation
// it is a plain white area, a stop for the Tab key, with no web view, page or
// renderer behind it.
class Browser final : public QWidget
{
    Q_OBJECT
public:
    explicit Browser(QWidget *parent = nullptr);

    void navigate(const QString &address);

    // Null until the first navigation.
    QWebEngineView *view() const { return m_view; }
    QUrl url() const;
    QString title() const;

signals:
    void loadFinished(bool ok);

protected:
    void focusInEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void keepPageOutOfTabOrder();

    QWebEngineView *m_view = nullptr;
};
