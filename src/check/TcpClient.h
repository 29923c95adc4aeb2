#pragma once

#include "diag/Failure.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace vindel::check {

// The non-blocking TCP client that carries one POP3 conversation at a time.
// Received bytes and connection failures arrive through the callbacks, on
// the event thread. Failures carry Windows Sockets numbers (10061 refused,
// 10054 reset, 10060 timed out, 10065 host unreachable, 11001 name not
// found, 11002 temporary resolver failure, 11004 off line). An orderly close
// by the server raises nothing.
class TcpClient {
public:
    virtual ~TcpClient() = default;
    virtual void setDataHandler(std::function<void(const QByteArray&)> handler) = 0;
    virtual void setErrorHandler(std::function<void(const diag::Failure&)> handler) = 0;

    // Starts connecting and returns at once. A request that cannot be
    // accepted at all (a connection still open) fails here.
    virtual std::optional<diag::Failure> connectTo(const QString& host, quint16 port) = 0;
    // Queues bytes for sending; false when there is no connection.
    virtual bool send(const QByteArray& bytes) = 0;
    // Closes the connection; harmless when it is already closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The caller has given up on the open connection: nothing more is read
    // from it or reported of it until close() or the next connectTo(), so a
    // server that keeps sending is held back instead of filling memory. The
    // connection itself stays open.
    virtual void ignoreIncoming() {}
};

} // namespace vindel::check
