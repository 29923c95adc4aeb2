#pragma once

#include "Fakes.h"
#include "platform/QtTcpClient.h"
#include "platform/QtTimer.h"

#include <QDir>
#include <QTest>

#include <functional>

namespace vindel::test {

// The real check timer that also tells when it is switched on: a check has
// ended well when it is back at its minute tick.
class ObservedTimer : public platform::QtTimer {
public:
    void setEnabled(bool enabled) override
    {
        QtTimer::setEnabled(enabled);
        if (enabled && onEnabled)
            onEnabled();
    }
    std::function<void()> onEnabled;
};

// The real client, passed through, keeping every byte the check hands it to
// send: on a secured connection what goes inside TLS.
class SentRecorder : public check::TcpClient {
public:
    explicit SentRecorder(check::TcpClient& inner) : m_inner(inner) {}
    void setDataHandler(std::function<void(const QByteArray&)> h) override
    {
        m_inner.setDataHandler(std::move(h));
    }
    void setErrorHandler(std::function<void(const diag::Failure&)> h) override
    {
        m_inner.setErrorHandler(std::move(h));
    }
    void setSecuredHandler(std::function<void(const Secured&)> h) override
    {
        m_inner.setSecuredHandler(std::move(h));
    }
    std::optional<diag::Failure> connectToServer(const check::ServerAddress& address) override
    {
        return m_inner.connectToServer(address);
    }
    std::optional<diag::Failure> startTls() override { return m_inner.startTls(); }
    bool send(const QByteArray& bytes) override
    {
        sent += bytes;
        return m_inner.send(bytes);
    }
    void close() override { m_inner.close(); }
    void ignoreIncoming() override { m_inner.ignoreIncoming(); }

    QByteArray sent;

private:
    check::TcpClient& m_inner;
};

// The behaviour wired to the real socket and timers, with the windows faked.
struct RealHarness : FakeDesktop {
    platform::QtTcpClient tcp;
    SentRecorder wire{tcp};
    ObservedTimer checkTimer;
    platform::QtTimer replyTimer;
    platform::QtTcpClient listeningTcp; // the IMAP push listener's connection
    platform::QtTimer listeningTimer;
    shell::PopChk popChk{
        globals, ports(wire, checkTimer, replyTimer, nullptr, nullptr, &listeningTcp, &listeningTimer)};

    explicit RealHarness(const QString& server, const QString& password = "secret",
                         platform::QtTcpClient::Options options = {})
        : tcp(options), listeningTcp(std::move(options))
    {
        store.put("UserName", "vindel");
        store.put("PassWord", password);
        store.put("Pop3Server", server);
        popChk.setReplyLimit(2000);
    }

    // A check has ended well: the timer is back at its minute tick.
    bool checkSucceeded() const { return checkTimer.isEnabled() && checkTimer.interval() == 60000; }

    // Starts and waits until the first check is over: the timer is back at
    // one minute (success), a message was shown (failure) or the program ended.
    bool runFirstCheck(int timeoutMs = 10000)
    {
        if (popChk.start(arguments, logFolder) != shell::PopChk::StartResult::Running)
            return false;
        return QTest::qWaitFor([this] { return checkSucceeded() || !journal.filter("message").isEmpty(); },
                               timeoutMs);
    }

    QString firstMessage() const { return journal.filter("message").value(0); }

    QStringList arguments;                // of the program's start ("/t" writes the event log)
    QString logFolder = QDir::tempPath(); // where the event log goes
};

inline QString local(quint16 port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

} // namespace vindel::test
