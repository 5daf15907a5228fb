#include "single_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <unistd.h>

namespace korvex {

namespace {
constexpr char kAck = '1';
}

QString SingleInstance::socketPath(const QString& dbFile, const QString& office) {
    const QByteArray key = QCryptographicHash::hash((dbFile + QLatin1Char('\n') + office).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return QStringLiteral("%1/korvex-%2-%3")
        .arg(folder)
        .arg(::getuid())
        .arg(QString::fromLatin1(key));
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_path(std::move(socketPath)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::handOff(const QStringList& files, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    {
        QDataStream out(&message, QIODevice::WriteOnly);
        out << files;
    }
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer tells that the running Korvex has taken the request; a
    // socket that accepts but never answers is no Korvex to rely on.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    char ack = 0;
    return socket.getChar(&ack) && ack == kAck;
}

bool SingleInstance::listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        // Taken: a live Korvex answers (then this start should have handed
        // off; it runs on its own rather than not at all), a dead one's
        // socket is removed and taken over.
        QLocalSocket probe;
        probe.connectToServer(m_path);
        if (probe.waitForConnected(1000))
            return false;
        QLocalServer::removeServer(m_path);
        if (!m_server->listen(m_path))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QDataStream in(socket);
                in.startTransaction();
                QStringList files;
                in >> files;
                if (!in.commitTransaction())
                    return; // the rest of the message is still on its way
                socket->putChar(kAck);
                socket->flush();
                if (onRequest)
                    onRequest(files);
            });
        }
    });
    return true;
}

} // namespace korvex
