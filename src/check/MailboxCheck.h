#pragma once

#include "check/CheckEvents.h"
#include "check/CheckVariables.h"
#include "check/IdleListener.h"
#include "check/ImapSession.h"
#include "check/Pop3Session.h"
#include "check/ReplyFramer.h"
#include "check/ServerAddress.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/EventLog.h"
#include "diag/Failures.h"

namespace vindel::check {

// The one owner of the mail check: its working values, the conversation, the
// framing of replies, the reply limit and the check timer. Nothing else
// touches the timer; the rest of the program asks through the commands
// below, and answers a failure with a Resume that the check applies.
//
// The road of one check: a tick of the check timer finds that the ticks have
// reached the interval, or that a check was asked for; the timer stops for
// the whole check; the connection opens; each "+OK" moves the conversation
// on; the STAT count goes to CheckEvents::countFound; the answer to QUIT
// closes the connection and the timer ticks once a minute again. A rejected
// reply, a connection error or a server silent past the reply limit ends the
// check through CheckEvents::failed.
class MailboxCheck {
public:
    static constexpr int minuteMs = 60000;
    static constexpr int soonMs = 1000;
    static constexpr int defaultReplyLimitMs = 60000;

    MailboxCheck(TcpClient& tcp, Timer& checkTimer, Timer& replyTimer, diag::EventLog& log,
                 CheckEvents& events);

    // With a connection and a timer of its own, an IMAP server that offers
    // IDLE is listened to from the first count on: a change it tells of
    // starts a check about one second later while the timer paces checks
    // (never during a check, never after checking has stopped).
    void listenWith(TcpClient& tcp, Timer& timer);
    // The network came back or the machine woke: listening starts afresh.
    void listenAfresh()
    {
        if (m_listener)
            m_listener->listenAfresh();
    }

    // Start-up: nothing reported yet, no failures, the first check about one
    // second from now.
    void begin();
    // The check command: starts a check at once while the timer runs.
    void checkCommand();
    // Stops the timer (no check can start) until checkSoon().
    void pause();
    // A check about one second from now.
    void checkSoon();
    // The end of the program: no QUIT is sent, the connection is dropped.
    void shutDown();

    // True while the timer paces checks: no check is under way and checking
    // has not stopped after failures.
    bool isPacing() const { return m_checkTimer.isEnabled(); }
    qint16 errorCount() const { return m_variables.ErrorCount; }
    // The user has read the mail: the next check that still finds mail
    // counts as a change.
    void forgetReportedCount() { m_variables.PrevMailCount = QStringLiteral("0"); }
    void setReplyLimit(int milliseconds);

private:
    void tick();
    std::optional<diag::Failure> startCheck();
    void dataArrived(const QByteArray& bytes);
    void handleReply(const QByteArray& reply);
    void sendStep(const SessionStep& step);
    SessionStep loginStep();
    void beginTls();
    void secured(const TcpClient::Secured& secured);
    void endOnReply(const diag::Catalogued& failure, const QString& description);
    void connectionFailed(const diag::Failure& failure);
    void fail(const diag::Failure& failure);
    void armReplyLimit();
    void stopWaiting();

    TcpClient& m_tcp;
    Timer& m_checkTimer;
    Timer& m_replyTimer;
    diag::EventLog& m_log;
    CheckEvents& m_events;

    CheckVariables m_variables;
    Credentials m_credentials; // those of the running check
    ServerAddress m_address;   // where the running check connected, and how
    ReplyFramer m_framer;
    imap::Session m_imap; // the IMAP conversation of the running check, when it is one
    std::optional<IdleListener> m_listener;
    bool m_draining = false;
    bool m_rejected = false; // the check ended on this connection's reply
    int m_replyLimitMs = defaultReplyLimitMs;
};

} // namespace vindel::check
