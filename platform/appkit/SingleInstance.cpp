#include "platform/appkit/SingleInstance.h"

#include <QDataStream>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace tolvan {

struct SingleInstance::Private {
    QString name;
    QLocalServer* server = nullptr;
};

namespace {

// A message is one length-prefixed list of absolute paths.
QByteArray encode(const QStringList& paths)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << paths;
    return bytes;
}

}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->name = QStringLiteral("%1-%2").arg(key).arg(::getuid());
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() const { return d->name; }

bool SingleInstance::handOffToRunningInstance(const QStringList& paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(d->name);
    if (socket.waitForConnected(timeoutMs)) {
        QStringList absolute;
        for (const QString& path : paths)
            absolute << QFileInfo(path).absoluteFilePath();
        QDataStream out(&socket);
        out << encode(absolute);
        socket.flush();
        // The running copy closes the connection once it has read the list.
        if (socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0) {
            socket.waitForDisconnected(timeoutMs);
            return true;
        }
    }
    // Nobody answers: a socket left by a copy that crashed is taken over.
    QLocalServer::removeServer(d->name);
    d->server = new QLocalServer(this);
    d->server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!d->server->listen(d->name))
        return false;  // files still open here; later launches just start their own copy
    connect(d->server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = d->server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                QDataStream in(client);
                in.startTransaction();
                QByteArray message;
                in >> message;
                if (!in.commitTransaction())
                    return;  // wait for the rest
                QStringList received;
                QDataStream list(message);
                list >> received;
                client->disconnectFromServer();
                emit filesReceived(received);
            });
        }
    });
    return false;
}

}  // namespace tolvan
