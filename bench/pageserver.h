#pragma once

#include <QObject>
#include <QTcpServer>

// Serves the main window's start page on 127.0.0.1, so that page loads in
// the benchmark wait on nothing but this machine. Other paths (the
// browser's favicon request) get an empty 404.
class PageServer final : public QObject
{
    Q_OBJECT
public:
    explicit PageServer(QObject *parent = nullptr);

    // Listens on a free port; false if no port could be had.
    bool start();
    QString host() const; // "127.0.0.1:<port>"

    // The path served, taken from the address the main window opens first.
    static QString startPagePath();

private:
    void onNewConnection();

    // A child, so that it moves along when the server is given a thread.
    QTcpServer m_server{this};
};
