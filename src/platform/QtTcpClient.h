#pragma once

#include "check/TcpClient.h"
#include "diag/Failure.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class QSocketNotifier;
class QTcpSocket;

namespace vindel::platform {

// The POP3 connection over a non-blocking socket on the event thread.
//
// The name lookup (QHostInfo) and the TCP connect are done here rather than
// by QTcpSocket, so that every failure keeps its exact cause: a name that does
// not exist and a resolver that does not answer, or a refused, unreachable and
// timed-out connect, are told apart (see SocketErrors.h for the numbers). The
// connected socket is then handed to a QTcpSocket for reading and writing.
// A second descriptor of the socket is kept open beside it, so that when the
// server goes away the kernel's TCP state still tells a reset (10054) from an
// orderly close (no failure).
//
// Every result of connectTo() arrives later, through the callbacks, never
// while connectTo() runs. Callbacks may call back into the client (close,
// connectTo) and may run nested event loops.
class QtTcpClient : public QObject, public check::TcpClient {
    Q_OBJECT
public:
    struct Options {
        // Limit of the TCP connect itself (all addresses of the name together).
        std::chrono::milliseconds connectTimeout{30000};
        // Whether the machine has a usable network; empty means hasUsableNetwork().
        std::function<bool()> networkAvailable;
    };

    explicit QtTcpClient(QObject* parent = nullptr);
    explicit QtTcpClient(Options options, QObject* parent = nullptr);
    ~QtTcpClient() override;

    void setDataHandler(std::function<void(const QByteArray&)> handler) override;
    void setErrorHandler(std::function<void(const diag::Failure&)> handler) override;
    std::optional<diag::Failure> connectTo(const QString& host, quint16 port) override;
    bool send(const QByteArray& bytes) override;
    void close() override;
    bool isOpen() const override;

    // True when a non-loopback interface is up and running with an address
    // that is neither loopback nor link-local, or when no interface can be
    // listed at all.
    static bool hasUsableNetwork();

private:
    enum class State { Unconnected, Resolving, Connecting, Connected };

    void begin();
    void lookedUp(const QHostInfo& info);
    void startConnecting(QList<QHostAddress> addresses);
    void connectNext();
    void connectFinished();
    void connected();
    void readAvailable();
    void socketFailed(QAbstractSocket::SocketError error);
    void connectTimedOut();
    bool networkAvailable() const;
    bool connectionWasReset() const;
    void dropConnectNotifier();
    // Ends everything under way and returns to Unconnected; no callback.
    void teardown();
    // Tears down, then reports the failure.
    void fail(const diag::Failure& failure);

    Options m_options;
    std::function<void(const QByteArray&)> m_onData;
    std::function<void(const diag::Failure&)> m_onError;

    State m_state = State::Unconnected;
    quint64 m_attempt = 0; // changes with every connectTo and teardown; stale events compare it
    QString m_host;
    quint16 m_port = 0;
    int m_lookupId = -1;
    QList<QHostAddress> m_addresses; // still to try
    bool m_loopbackAddress = false;  // the address being tried
    diag::Failure m_lastFailure;
    int m_descriptor = -1; // our own descriptor of the socket
    QSocketNotifier* m_connectNotifier = nullptr;
    QTcpSocket* m_socket = nullptr;
    QTimer m_connectTimer;
};

} // namespace vindel::platform
