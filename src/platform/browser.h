#pragma once

#include <QWebEngineView>

// The embedded browser. Navigate() starts loading an address and returns at
// once; nobody waits for the page or looks at it. A browser created without
// a start address shows a blank white area and creates no page (and starts
// no renderer) until its first navigation.
class Browser final : public QWebEngineView
{
    Q_OBJECT
public:
    explicit Browser(QWidget *parent = nullptr);

    void Navigate(const QString &address);

    // Whether a page exists: false until the first navigation.
    bool hasPage() const { return m_hasPage; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_hasPage = false;
};
