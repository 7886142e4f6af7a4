#pragma once
// A plain HTTP server on 127.0.0.1 for the tests, served from the main event
// loop: records each request's raw bytes and answers with the status and body
// the test sets, drops the connection, or never answers.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace tolvan::test {

struct RawRequest {
    QByteArray head;  // request line and headers
    QByteArray body;

    QByteArray header(const QByteArray& name) const
    {
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

class HttpTestServer : public QObject {
public:
    enum class Answer { Status, Drop, Never };

    explicit HttpTestServer(QString path = QStringLiteral("/feedback")) : path_(std::move(path))
    {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            }
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path_); }

    Answer answer = Answer::Status;
    int status = 200;
    QByteArray body = "ok";
    QList<RawRequest> requests;
    int connectionsClosedByPeer = 0;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        RawRequest request{buffer.left(headEnd + 2), {}};
        const qsizetype length = request.header("Content-Length").toLongLong();
        if (buffer.size() < headEnd + 4 + length)
            return;
        request.body = buffer.mid(headEnd + 4, length);
        requests.append(request);
        buffers_.remove(socket);
        connect(socket, &QTcpSocket::disconnected, this, [this] { ++connectionsClosedByPeer; });
        switch (answer) {
        case Answer::Drop: socket->abort(); return;
        case Answer::Never: return;
        case Answer::Status: break;
        }
        const QByteArray reason = status >= 200 && status <= 299 ? "OK" : "Error";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " " + reason + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QString path_;
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace tolvan::test
