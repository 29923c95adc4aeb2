#include "DemoPop3Server.h"

#include <QTcpSocket>
#include <algorithm>

namespace vindel::demo {
namespace {
constexpr qsizetype maxCommandLength = 512; // RFC 1939's limit for a line
const char* const loggedInProperty = "vindelLoggedIn";
} // namespace

DemoPop3Server::DemoPop3Server(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DemoPop3Server::accept);
}

bool DemoPop3Server::listen(quint16 port, const QHostAddress& address)
{
    if (!address.isLoopback())
        return false; // this server never leaves the machine
    return m_server.listen(address, port);
}

void DemoPop3Server::setCount(int count)
{
    m_count = std::max(0, count);
    emit countChanged(m_count);
}

void DemoPop3Server::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        socket->write("+OK Vindel demo mailbox ready\r\n");
    }
}

void DemoPop3Server::serve(QTcpSocket* socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(maxCommandLength + 1).trimmed();
        const QByteArray reply = answer(socket, line);
        socket->write(reply);
        if (line.toUpper() == "QUIT") {
            ++m_sessions;
            emit sessionFinished(m_sessions);
            socket->disconnectFromHost();
            return;
        }
    }
    if (socket->bytesAvailable() > maxCommandLength) {
        socket->write("-ERR line too long\r\n");
        socket->disconnectFromHost();
    }
}

QByteArray DemoPop3Server::answer(QTcpSocket* socket, const QByteArray& line)
{
    const qsizetype blank = line.indexOf(' ');
    const QByteArray command = (blank < 0 ? line : line.left(blank)).toUpper();
    const QByteArray argument = blank < 0 ? QByteArray() : line.mid(blank + 1);
    const bool loggedIn = socket->property(loggedInProperty).toBool();

    if (command == "USER")
        return "+OK\r\n";
    if (command == "PASS") {
        if (!m_password.isEmpty() && QString::fromUtf8(argument) != m_password)
            return "-ERR [AUTH] Authentication failed.\r\n";
        socket->setProperty(loggedInProperty, true);
        return "+OK logged in\r\n";
    }
    if (command == "STAT") {
        if (!loggedIn)
            return "-ERR not logged in\r\n";
        return QByteArray("+OK ") + QByteArray::number(m_count) + ' ' +
               QByteArray::number(qint64(m_count) * messageSize) + "\r\n";
    }
    if (command == "QUIT")
        return "+OK bye\r\n";
    if (command == "NOOP")
        return "+OK\r\n";
    return "-ERR unknown command\r\n";
}

} // namespace vindel::demo
