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

// The behaviour wired to the real socket and timers, with the windows faked.
struct RealHarness : FakeDesktop {
    platform::QtTcpClient tcp;
    ObservedTimer checkTimer;
    platform::QtTimer replyTimer;
    FakeLauncher launcher{journal};
    shell::PopChk popChk{globals, config, ports(tcp, checkTimer, replyTimer, launcher)};

    explicit RealHarness(const QString& server, const QString& password = "secret")
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
        if (popChk.start({}, QDir::tempPath()) != shell::PopChk::StartResult::Running)
            return false;
        return QTest::qWaitFor([this] { return checkSucceeded() || !journal.filter("message").isEmpty(); },
                               timeoutMs);
    }

    QString firstMessage() const { return journal.filter("message").value(0); }
};

inline QString local(quint16 port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

} // namespace vindel::test
