#pragma once

#include <QWebEngineView>

// The embedded browser. Navigate() starts loading an address and returns at
// once; nobody waits for the page or looks at it. A browser created without
// a start address stays blank and creates no page until its first navigation.
class Browser final : public QWebEngineView
{
    Q_OBJECT
public:
    explicit Browser(QWidget *parent = nullptr);

    void Navigate(const QString &address);
};
