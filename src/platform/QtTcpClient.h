#pragma once

#include "check/TcpClient.h"
#include "diag/Failure.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class QSocketNotifier;
class QSslSocket;
class QTcpSocket;

namespace vindel::platform {

// The POP3 connection over a non-blocking socket on the event thread.
//
// The name lookup (QHostInfo) and the TCP connect are done here rather than
// by QTcpSocket, so that every failure keeps its exact cause: a name that does
// not exist and a resolver that does not answer, or a refused, unreachable and
// timed-out connect, are told apart (see SocketErrors.h for the numbers). The
// connected socket is then handed to a QTcpSocket for reading and writing, or
// to a QSslSocket where the address asks for TLS (a plain check so never loads
// the TLS library, a few megabytes of memory): then the handshake runs
// with Qt's default configuration (the system's authorities, TLS 1.2 at
// least), the host name is verified, and nothing is read or written before it
// is done. A pinned fingerprint stands in for the authorities, the names and
// the dates: exactly the certificate whose SHA-256 it is is accepted, any
// other is refused. Weak keys and signatures are refused either way
// (weakCertificateFailure in SocketErrors.h).
// A second descriptor of the socket is kept open beside it, so that when the
// server goes away the kernel's TCP state still tells a reset from an
// orderly close (no failure).
//
// Every result of a connect arrives later, through the callbacks, never
// while the connect call runs. Callbacks may call back into the client
// (close, connect) and may run nested event loops.
class QtTcpClient : public QObject, public check::TcpClient {
    Q_OBJECT
public:
    struct Options {
        // Limit of the TCP connect itself (all addresses of the name together).
        std::chrono::milliseconds connectTimeout{30000};
        // How long an address may try alone before the next one starts too
        // (RFC 8305's connection attempt delay).
        std::chrono::milliseconds nextAddressDelay{250};
        // Whether the machine has a usable network; empty means hasUsableNetwork().
        std::function<bool()> networkAvailable;
        // Looks a name up in place of the system's resolver (tests give a
        // name several addresses this way); empty means QHostInfo.
        std::function<QHostInfo(const QString& host)> lookup;
    };

    // The most a connection holds of what the server sent and the program
    // has not taken yet: one reply of the longest kind the session accepts,
    // and a little more.
    static constexpr qint64 readBufferBytes = 64 * 1024 + 1024;

    explicit QtTcpClient(QObject* parent = nullptr);
    explicit QtTcpClient(Options options, QObject* parent = nullptr);
    ~QtTcpClient() override;

    void setDataHandler(std::function<void(const QByteArray&)> handler) override;
    void setErrorHandler(std::function<void(const diag::Failure&)> handler) override;
    void setClosedHandler(std::function<void()> handler) override { m_onClosed = std::move(handler); }
    std::optional<diag::Failure> connectToServer(const check::ServerAddress& address) override;
    std::optional<diag::Failure> startTls() override;
    void setSecuredHandler(std::function<void(const Secured&)> handler) override;
    bool send(const QByteArray& bytes) override;
    void close() override;
    void ignoreIncoming() override;

    // A plain connection to a host and port, as connectToServer() makes one.
    std::optional<diag::Failure> connectTo(const QString& host, quint16 port);
    bool isOpen() const;

    // True when a non-loopback interface is up and running with an address
    // that is neither loopback nor link-local, or when no interface can be
    // listed at all.
    static bool hasUsableNetwork();

    // Authorities trusted beside the system's, for this client only (tests
    // give their own throwaway authority this way).
    void addCaCertificates(const QList<QSslCertificate>& certificates);

private:
    enum class State { Unconnected, Resolving, Connecting, Connected };

    void begin();
    void lookedUp(const QHostInfo& info);
    // A connect under way to one of the name's addresses.
    struct PendingConnect {
        int descriptor = -1;
        qsizetype index = 0; // where its address stands in the name's list
        bool loopback = false;
        QSocketNotifier* notifier = nullptr;
    };

    void startConnecting(QList<QHostAddress> addresses);
    // Starts the next address not yet tried; fails when none is left and
    // no connect is under way.
    void connectNext();
    void connectFinished(int descriptor);
    void noteFailure(qsizetype index, const diag::Failure& failure);
    void dropPendingConnects();
    void connected();
    void readAvailable();
    void socketFailed(QAbstractSocket::SocketError error);
    void beginHandshake();
    void sslErrorsFound(const QList<QSslError>& errors);
    void encrypted();
    void connectTimedOut();
    bool networkAvailable() const;
    bool connectionWasReset() const;
    // Ends everything under way and returns to Unconnected; no callback.
    void teardown();
    // Tears down, then reports the failure.
    void fail(const diag::Failure& failure);

    Options m_options;
    std::function<void(const QByteArray&)> m_onData;
    std::function<void(const diag::Failure&)> m_onError;
    std::function<void()> m_onClosed;
    std::function<void(const Secured&)> m_onSecured;
    QList<QSslCertificate> m_extraCas;

    State m_state = State::Unconnected;
    quint64 m_attempt = 0; // changes with every connectTo and teardown; stale events compare it
    QString m_host;
    quint16 m_port = 0;
    int m_lookupId = -1;
    QList<QHostAddress> m_addresses; // still to try
    qsizetype m_nextIndex = 0;       // the list position of m_addresses.first()
    QList<PendingConnect> m_pending;
    diag::Failure m_lastFailure; // of the address latest in the list that failed
    qsizetype m_lastFailureIndex = -1;
    bool m_loopbackAddress = false; // the connected address
    int m_descriptor = -1;          // our own descriptor of the connected socket
    QTcpSocket* m_socket = nullptr;
    QSslSocket* m_tls = nullptr; // the same socket, where the address asks for TLS
    bool m_ignoring = false;     // the caller has given up on this connection
    check::Security m_security = check::Security::Plain;
    QByteArray m_pin;                          // the pinned SHA-256, or empty
    bool m_securing = false;                   // the handshake is under way
    std::optional<diag::Failure> m_tlsFailure; // why the certificate was refused
    QTimer m_connectTimer;
    QTimer m_nextAddressTimer;
};

} // namespace vindel::platform
