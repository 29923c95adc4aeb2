#include "support/ScriptedPop3Server.h"

#include <QHostAddress>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <sys/socket.h>

namespace vindel::test {

struct ScriptedPop3Server::Connection {
    int index = 0;
    QPointer<QSslSocket> socket;
    QList<ServerScript::Step> steps;
    qsizetype next = 0;     // the step to run
    QByteArray received;    // everything the client sent
    qsizetype expected = 0; // bytes of received already matched by expectations
    qint64 flooded = 0;     // bytes of the current flood step written
    bool pausing = false;
    bool advancing = false; // advance() is running (a flush can signal back into it)
    bool finished = false;
    bool closedByServer = false;
    bool closedByClient = false;
};

ScriptedPop3Server::ScriptedPop3Server(ServerScript script, QObject* parent)
    : QObject(parent), m_script(std::move(script))
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedPop3Server::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    for (auto& connection : m_connections)
        if (connection->socket)
            connection->socket->disconnect(this);
}

bool ScriptedPop3Server::isListening() const
{
    return m_server.isListening();
}

quint16 ScriptedPop3Server::port() const
{
    return m_server.serverPort();
}

void ScriptedPop3Server::setScript(const ServerScript& script)
{
    m_script = script;
}

int ScriptedPop3Server::connectionCount() const
{
    return static_cast<int>(m_connections.size());
}

QByteArray ScriptedPop3Server::received(int connection) const
{
    if (connection < 0 || connection >= connectionCount())
        return {};
    return m_connections[connection]->received;
}

bool ScriptedPop3Server::isFinished(int connection) const
{
    return connection >= 0 && connection < connectionCount() && m_connections[connection]->finished;
}

bool ScriptedPop3Server::isClosedByClient(int connection) const
{
    return connection >= 0 && connection < connectionCount() && m_connections[connection]->closedByClient;
}

QStringList ScriptedPop3Server::mismatches() const
{
    return m_mismatches;
}

void ScriptedPop3Server::Listener::incomingConnection(qintptr descriptor)
{
    // Every connection is a QSslSocket, plain until a handshake starts.
    auto* socket = new QSslSocket(this);
    if (socket->setSocketDescriptor(descriptor))
        addPendingConnection(socket);
    else
        delete socket;
}

void ScriptedPop3Server::setTlsIdentity(const QList<QSslCertificate>& chain, const QSslKey& key,
                                        bool implicitTls)
{
    m_chain = chain;
    m_key = key;
    m_implicitTls = implicitTls;
}

void ScriptedPop3Server::beginTls(Connection& c)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(m_chain);
    configuration.setPrivateKey(m_key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    c.socket->setSslConfiguration(configuration);
    c.pausing = true;
    connect(c.socket, &QSslSocket::encrypted, this, [this, &c] {
        c.pausing = false;
        advance(c);
    });
    c.socket->startServerEncryption();
}

void ScriptedPop3Server::accept()
{
    while (auto* socket = static_cast<QSslSocket*>(m_server.nextPendingConnection())) {
        auto connection = std::make_unique<Connection>();
        connection->index = connectionCount();
        connection->socket = socket;
        connection->steps = m_script.steps();
        // Each send leaves at once as its own segment.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Connection& c = *connection;
        m_connections.push_back(std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, &c] {
            c.received += c.socket->readAll();
            advance(c);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, &c] { advance(c); });
        connect(socket, &QSslSocket::encryptedBytesWritten, this, [this, &c] { advance(c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, &c] {
            c.closedByClient = !c.closedByServer;
            if (c.socket && c.socket->isReadable())
                c.received += c.socket->readAll();
        });
        if (m_implicitTls)
            beginTls(c);
        else
            advance(c);
    }
}

void ScriptedPop3Server::advance(Connection& c)
{
    if (c.advancing)
        return; // the running call goes on with the next step
    c.advancing = true;
    runSteps(c);
    c.advancing = false;
}

void ScriptedPop3Server::runSteps(Connection& c)
{
    while (!c.finished && !c.pausing && c.socket) {
        if (c.next >= c.steps.size()) {
            finish(c);
            return;
        }
        const ServerScript::Step& step = c.steps[c.next];
        switch (step.kind) {
        case ServerScript::Step::Kind::Send:
            c.socket->write(step.bytes);
            c.socket->flush();
            ++c.next;
            break;
        case ServerScript::Step::Kind::Expect: {
            if (c.received.size() - c.expected < step.bytes.size())
                return; // wait for more bytes
            const QByteArray got = c.received.mid(c.expected, step.bytes.size());
            if (got != step.bytes)
                m_mismatches << QStringLiteral("connection %1: expected %2, got %3")
                                    .arg(c.index)
                                    .arg(QString::fromLatin1(step.bytes.toPercentEncoding(" ")),
                                         QString::fromLatin1(got.toPercentEncoding(" ")));
            c.expected += step.bytes.size();
            ++c.next;
            break;
        }
        case ServerScript::Step::Kind::Silence:
            c.pausing = true;
            QTimer::singleShot(step.milliseconds, this, [this, &c] {
                c.pausing = false;
                ++c.next;
                advance(c);
            });
            return;
        case ServerScript::Step::Kind::Close:
            c.closedByServer = true;
            c.socket->disconnectFromHost();
            finish(c);
            return;
        case ServerScript::Step::Kind::Reset: {
            c.socket->flush();
            c.closedByServer = true;
            // A zero linger time makes close() send RST instead of FIN.
            const linger abortive{1, 0};
            ::setsockopt(static_cast<int>(c.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                         sizeof abortive);
            c.socket->abort();
            finish(c);
            return;
        }
        case ServerScript::Step::Kind::Flood: {
            constexpr qint64 chunk = 64 * 1024;
            constexpr qint64 queued = 1024 * 1024; // what may wait in the socket's buffer
            if (c.socket->state() != QAbstractSocket::ConnectedState) {
                finish(c); // the client went away
                return;
            }
            // Inside TLS the queue is also what waits encrypted.
            // Whole copies per chunk, so that every chunk starts a copy.
            const QByteArray copies = step.bytes.repeated(std::max<qsizetype>(1, chunk / step.bytes.size()));
            while (c.flooded < step.count &&
                   c.socket->bytesToWrite() + c.socket->encryptedBytesToWrite() < queued) {
                const qint64 size = std::min<qint64>(copies.size(), step.count - c.flooded);
                c.socket->write(copies.constData(), size);
                c.flooded += size;
            }
            if (c.flooded < step.count)
                return; // more once the client has taken these (bytesWritten)
            c.flooded = 0;
            ++c.next;
            break;
        }
        case ServerScript::Step::Kind::StayOpen:
            finish(c);
            return;
        case ServerScript::Step::Kind::StartTls:
            ++c.next;
            beginTls(c);
            return;
        }
    }
}

void ScriptedPop3Server::finish(Connection& c)
{
    if (c.finished)
        return;
    c.finished = true;
    emit scriptFinished(c.index);
}

} // namespace vindel::test
