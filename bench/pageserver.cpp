#include "pageserver.h"

#include "core/queryaddress.h"

#include <QTcpSocket>
#include <QUrl>

namespace {

// A start page of the usual kind: a heading, a few lines of text, a small
// table and a style sheet. Both programs measured load exactly this.
constexpr char StartPage[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Server query</title>
<style>
  body { background: #191817; color: #d0d0d0; font: 13px sans-serif; margin: 12px; }
  h1 { color: #c00000; font-size: 18px; margin: 0 0 8px; }
  table { border-collapse: collapse; margin-top: 10px; }
  td, th { border: 1px solid #444; padding: 3px 8px; text-align: left; }
  th { background: #2a2928; }
</style>
</head>
<body>
<h1>Server query</h1>
<p>Enter a server's address, its query port and its web port above, then
click <b>Begin Query</b>. The server's status appears here.</p>
<table>
  <tr><th>Field</th><th>Example</th></tr>
  <tr><td>Address</td><td>203.0.113.5</td></tr>
  <tr><td>Query port</td><td>6500</td></tr>
  <tr><td>Web port</td><td>0</td></tr>
</table>
</body>
</html>
)";

QByteArray response(QByteArrayView status, QByteArrayView body)
{
    return "HTTP/1.1 " + status.toByteArray() + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body.toByteArray();
}

}

PageServer::PageServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &PageServer::onNewConnection);
}

bool PageServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString PageServer::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort());
}

QString PageServer::startPagePath()
{
    return QUrl(QueryAddress::mainStartPage(QStringLiteral("127.0.0.1"))).path();
}

void PageServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            QByteArray received = socket->property("received").toByteArray() + socket->readAll();
            socket->setProperty("received", received);
            if (!received.contains("\r\n\r\n"))
                return;
            // "GET <target> HTTP/1.1"
            const QByteArray target = received.left(received.indexOf("\r\n")).split(' ').value(1);
            const bool isStartPage = QUrl(QString::fromLatin1(target)).path() == startPagePath();
            socket->write(isStartPage ? response("200 OK", StartPage) : response("404 Not Found", {}));
            socket->disconnectFromHost();
        });
    }
}
