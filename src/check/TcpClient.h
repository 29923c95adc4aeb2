#pragma once

#include "check/ServerAddress.h"
#include "diag/Failure.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace vindel::check {

// The non-blocking TCP client that carries one POP3 conversation at a time.
// Received bytes and connection failures arrive through the callbacks, on
// the event thread. Failures are entries of the failure catalogue
// (diag/Failures.h). An orderly close by the server raises no failure; only
// the closed handler, where one is set, hears of it.
//
// A secured connection verifies the server's certificate and host name (or
// accepts exactly the pinned certificate) before it hands on a single byte;
// once its handshake is done the secured handler hears what the certificate
// is.
class TcpClient {
public:
    virtual ~TcpClient() = default;
    virtual void setDataHandler(std::function<void(const QByteArray&)> handler) = 0;
    virtual void setErrorHandler(std::function<void(const diag::Failure&)> handler) = 0;
    virtual void setClosedHandler(std::function<void()> /*handler*/) {}

    // Starts connecting as the address asks (plain, TLS at once, or plain
    // until startTls()) and returns at once. A request that cannot be
    // accepted at all (a connection still open) fails here.
    virtual std::optional<diag::Failure> connectToServer(const ServerAddress& address) = 0;
    // Queues bytes for sending; false when there is no connection.
    virtual bool send(const QByteArray& bytes) = 0;
    // Closes the connection; harmless when it is already closed.
    virtual void close() = 0;
    // The caller has given up on the open connection: nothing more is read
    // from it or reported of it until close() or the next connection, so a
    // server that keeps sending is held back instead of filling memory. The
    // connection itself stays open.
    virtual void ignoreIncoming() {}

    // What a secured connection showed of itself once its handshake was done.
    struct Secured {
        QString subject;     // the certificate's subject, as "CN=..., O=..."
        QString fingerprint; // SHA-256 of the certificate (DER), as "AB:CD:..."
        QString protocol;    // "TLS 1.3", say
    };
    virtual void setSecuredHandler(std::function<void(const Secured&)> handler) = 0;
    // Begins the TLS handshake on a connection opened for STLS. A failure
    // here means the handshake did not start (no such connection, or the
    // server sent more before it could start); one later arrives through the
    // error handler; success through the secured handler.
    virtual std::optional<diag::Failure> startTls() = 0;
};

} // namespace vindel::check
