#include "instance_channel.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include "native_path.h"
#include "tessaly/private_folder.h"

namespace tessaly {

namespace InstanceChannel {

namespace {

// A message is its length as 8 bytes, then the paths, each ended by a NUL (which no path
// holds). Paths travel as bytes: a file name need not be valid UTF-8.
constexpr int headerSize = 8;
constexpr char acknowledgement = '\x06';
// Far more than any command line; a stray writer cannot make the listener hoard memory.
constexpr quint64 messageLimit = 64 * 1024 * 1024;

QByteArray encode(const std::vector<std::filesystem::path>& paths) {
    QByteArray payload;
    for (const auto& path : paths) {
        payload.append(NativePath::toBytes(path));
        payload.append('\0');
    }
    QByteArray header(headerSize, '\0');
    qToBigEndian(quint64(payload.size()), header.data());
    return header + payload;
}

std::vector<std::filesystem::path> decode(const QByteArray& payload) {
    std::vector<std::filesystem::path> paths;
    for (const QByteArray& bytes : payload.split('\0')) {
        if (!bytes.isEmpty()) paths.push_back(NativePath::fromBytes(bytes));
    }
    return paths;
}

}  // namespace

QString defaultName() {
    try {
        return NativePath::toQString(PrivateFolder::path()) +
               QStringLiteral("/orvane-tessaly-%1.socket").arg(::getuid());
    } catch (const std::system_error&) {
        // No safe place for the socket: each instance then runs on its own.
        return QString();
    }
}

bool send(const QString& name, const std::vector<std::filesystem::path>& paths, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(encode(paths));
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    // The running instance confirms once it has queued the paths.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == acknowledgement;
}

Listener::Listener(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &Listener::accept);
}

bool Listener::listen() {
    // Qt replaces whatever socket file holds the name, a live instance's too; ask first.
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (probe.waitForConnected(1000)) return false;
    if (server_->listen(name_)) return true;
    // Left behind by an instance that did not end cleanly.
    QLocalServer::removeServer(name_);
    return server_->listen(name_);
}

void Listener::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        read(socket);
    }
}

void Listener::read(QLocalSocket* socket) {
    if (socket->bytesAvailable() < headerSize) return;
    const quint64 length = qFromBigEndian<quint64>(socket->peek(headerSize).constData());
    if (length > messageLimit) {
        socket->abort();
        return;
    }
    if (quint64(socket->bytesAvailable()) < headerSize + length) return;  // more is on its way
    socket->skip(headerSize);
    const QByteArray payload = socket->read(qint64(length));
    socket->putChar(acknowledgement);
    socket->flush();
    socket->disconnectFromServer();
    emit openRequested(decode(payload));
}

}  // namespace InstanceChannel

}  // namespace tessaly
