#pragma once

#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrlQuery>

// A small HTTP server on 127.0.0.1 that answers every GET with a tiny HTML
// page and remembers what it was asked.
class LocalHttpServer final : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray target;   // as sent on the request line, still encoded
        QString path;        // decoded
        QUrlQuery query;     // decoded values: query.queryItemValue(key, QUrl::FullyDecoded)
    };

    explicit LocalHttpServer(QObject *parent = nullptr);

    bool start();
    quint16 port() const { return m_server.serverPort(); }
    QString host() const; // "127.0.0.1:<port>"

    const QList<Request> &requests() const { return m_requests; }
    QList<Request> requestsFor(const QString &path) const;

    // Waits until `count` requests for `path` have arrived; false on timeout.
    bool waitForRequests(const QString &path, int count, int timeoutMs);

private:
    void onNewConnection();

    QTcpServer m_server;
    QList<Request> m_requests;
};
