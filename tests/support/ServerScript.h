#pragma once

#include <QByteArray>
#include <QList>

namespace vindel::test {

// What a scripted server does on each connection, step by step:
//   ServerScript().send("+OK ready\r\n").expect("USER u\r\n").send("+OK\r\n").close();
class ServerScript {
public:
    struct Step {
        enum class Kind {
            Send,     // write bytes
            Expect,   // wait until these exact bytes arrived (a mismatch is recorded)
            Silence,  // write nothing for a while, then go on
            Close,    // orderly close (FIN) after the pending bytes
            Reset,    // abortive close: the client sees ECONNRESET
            StayOpen, // do nothing more; keep recording what arrives
            Flood,    // write count bytes, copies of the given ones, as fast as the client takes them
            StartTls, // the server's side of a TLS handshake; the next step waits for its end
        };
        Kind kind;
        QByteArray bytes;
        int milliseconds = 0;
        qint64 count = 0;
    };

    ServerScript& send(const QByteArray& bytes) { return add({Step::Kind::Send, bytes}); }
    // Sends the pieces as separate segments with a pause between them.
    ServerScript& sendPieces(const QList<QByteArray>& pieces, int pauseMilliseconds)
    {
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                silence(pauseMilliseconds);
            send(pieces[i]);
        }
        return *this;
    }
    // Sends the bytes one at a time with a pause between them.
    ServerScript& drip(const QByteArray& bytes, int pauseMilliseconds)
    {
        QList<QByteArray> pieces;
        for (const char byte : bytes)
            pieces.append(QByteArray(1, byte));
        return sendPieces(pieces, pauseMilliseconds);
    }
    // Sends count copies of one byte, produced as the client reads them, so
    // that the server itself never holds more than a little of them.
    ServerScript& flood(char byte, qint64 count)
    {
        return add({Step::Kind::Flood, QByteArray(1, byte), 0, count});
    }
    // The same with count copies of a line (or any bytes).
    ServerScript& flood(const QByteArray& copy, qint64 count)
    {
        return add({Step::Kind::Flood, copy, 0, count * copy.size()});
    }
    ServerScript& expect(const QByteArray& bytes) { return add({Step::Kind::Expect, bytes}); }
    ServerScript& silence(int milliseconds) { return add({Step::Kind::Silence, {}, milliseconds}); }
    ServerScript& close() { return add({Step::Kind::Close, {}}); }
    ServerScript& reset() { return add({Step::Kind::Reset, {}}); }
    ServerScript& stayOpen() { return add({Step::Kind::StayOpen, {}}); }
    // Needs a server with a TLS identity (ScriptedPop3Server::setTlsIdentity).
    ServerScript& startTls() { return add({Step::Kind::StartTls, {}}); }

    const QList<Step>& steps() const { return m_steps; }

private:
    ServerScript& add(Step step)
    {
        m_steps.append(std::move(step));
        return *this;
    }

    QList<Step> m_steps;
};

} // namespace vindel::test
