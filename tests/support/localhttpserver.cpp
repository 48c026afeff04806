#include "support/localhttpserver.h"

#include <QTcpSocket>
#include <QTest>
#include <QUrl>

LocalHttpServer::LocalHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::onNewConnection);
}

bool LocalHttpServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString LocalHttpServer::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

QList<LocalHttpServer::Request> LocalHttpServer::requestsFor(const QString &path) const
{
    QList<Request> found;
    for (const Request &r : m_requests) {
        if (r.path == path)
            found += r;
    }
    return found;
}

bool LocalHttpServer::waitForRequests(const QString &path, int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return requestsFor(path).size() >= count; }, timeoutMs);
}

void LocalHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray received = socket->property("received").toByteArray() + socket->readAll();
            socket->setProperty("received", received);
            if (!received.contains("\r\n\r\n"))
                return;

            const QList<QByteArray> requestLine = received.left(received.indexOf("\r\n")).split(' ');
            const QByteArray target = requestLine.value(1);
            const QUrl url(QString::fromLatin1(target));
            m_requests += Request{target, url.path(QUrl::FullyDecoded), QUrlQuery(url)};

            const QByteArray body = "<!DOCTYPE html><html><head><title>local</title></head><body><p>"
                + QString::fromLatin1(target).toHtmlEscaped().toUtf8() + "</p></body></html>";
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    }
}
