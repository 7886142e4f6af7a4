#pragma once
// A feedback endpoint on 127.0.0.1 for the tests: records each request's raw
// bytes and answers with the status the test sets, or drops the connection.

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace feedbacktest {

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

class FeedbackServer : public QObject {
public:
    enum class Answer { Status, Drop, Never };

    FeedbackServer()
    {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            }
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/feedback").arg(server_.serverPort()); }

    Answer answer = Answer::Status;
    int status = 200;
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
        const QByteArray text = status == 200 ? "OK" : "Service Unavailable";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " " + text +
                      "\r\nContent-Type: text/plain\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace feedbacktest
