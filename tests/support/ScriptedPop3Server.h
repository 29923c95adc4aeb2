#pragma once

#include "support/ServerScript.h"

#include <QByteArray>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>
#include <QTcpServer>

#include <memory>
#include <vector>

class QTcpSocket;

namespace vindel::test {

// A POP3 server on 127.0.0.1 (port chosen by the system) that runs every
// accepted connection through a script and records the exact bytes each
// connection received (inside TLS: the plain text). Connections are numbered
// from 0 in accept order. Given a TLS identity, a connection runs the
// script's StartTls steps with it, and with implicitTls the handshake comes
// before the first step.
class ScriptedPop3Server : public QObject {
    Q_OBJECT
public:
    explicit ScriptedPop3Server(ServerScript script = {}, QObject* parent = nullptr);
    ~ScriptedPop3Server() override;

    bool isListening() const;
    quint16 port() const;
    // The script for connections accepted from now on.
    void setScript(const ServerScript& script);
    void setTlsIdentity(const QList<QSslCertificate>& chain, const QSslKey& key, bool implicitTls);

    int connectionCount() const;
    QByteArray received(int connection) const;
    // The script has run to its end (a close, a reset, or staying open).
    bool isFinished(int connection) const;
    // The client has closed its side of the connection.
    bool isClosedByClient(int connection) const;
    // Expectations that were not met, one text each.
    QStringList mismatches() const;

signals:
    void scriptFinished(int connection);

private:
    struct Connection;
    void accept();
    void advance(Connection& connection);
    void runSteps(Connection& connection);
    void finish(Connection& connection);
    void beginTls(Connection& connection);

    class Listener : public QTcpServer {
    protected:
        void incomingConnection(qintptr descriptor) override;
    };
    Listener m_server;
    QList<QSslCertificate> m_chain;
    QSslKey m_key;
    bool m_implicitTls = false;
    ServerScript m_script;
    std::vector<std::unique_ptr<Connection>> m_connections;
    QStringList m_mismatches;
};

} // namespace vindel::test
