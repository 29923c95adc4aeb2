#pragma once

#include "check/ImapSession.h"
#include "check/ReplyFramer.h"
#include "check/ServerAddress.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/EventLog.h"

#include <functional>

namespace vindel::check {

// A second IMAP connection that only listens: logged in, INBOX opened
// read-only and IDLE running, it tells `changed` when the server says that
// INBOX changed (a message came, was flagged or went). It counts nothing:
// the count is always the ordinary check's.
//
// The connection's own troubles are never reported: it is dropped and made
// again after a pause that doubles from two seconds up to the longest pause
// given (the check interval), so a server that keeps dropping it is not
// hammered; only an IDLE that lasted until its renewal resets the pause. A
// server that does not offer IDLE is left alone until another server or
// login is asked for. IDLE is renewed every 28 minutes, before a server may
// end it as idle for 30.
//
// Once listening again after a lost connection, a check is started too, as
// a change may have come while nobody listened.
//
// One timer serves for all waits, as only one is ever pending: a reply's
// limit, the renewal and the pause before reconnecting.
class IdleListener {
public:
    static constexpr int firstPauseMs = 2000;
    static constexpr int renewalMs = 28 * 60 * 1000;

    IdleListener(TcpClient& tcp, Timer& timer, diag::EventLog& log, std::function<void()> changed);

    // Listens to this server with this login; harmless when it already does
    // (only the longest pause is taken), a new connection otherwise.
    void listen(const ServerAddress& address, const Credentials& credentials, int longestPauseMs);
    // Drops the connection; nothing is listened to until listen().
    void stop();
    // The network came back or the machine woke: an idling connection may
    // be dead without a word and a pause may have grown long, so listening
    // starts afresh now, with a check once it idles.
    void listenAfresh();
    bool listensTo(const ServerAddress& address, const Credentials& credentials) const;
    void setReplyLimit(int milliseconds) { m_replyLimitMs = milliseconds; }

private:
    enum class Step {
        Off,
        Greeting,
        StartTls,
        Login,
        Capability,
        Examine,
        Idling,
        Idle,
        Done,
        Pause,
        NoIdle
    };

    void connect();
    void dataArrived(const QByteArray& bytes);
    void handle(const QByteArray& response);
    void send(Step next, const QByteArray& words);
    void login();
    void timeUp();
    void lost(const QString& why);
    void wait(int milliseconds);

    TcpClient& m_tcp;
    Timer& m_timer;
    diag::EventLog& m_log;
    std::function<void()> m_changed;

    ServerAddress m_address;
    Credentials m_credentials;
    imap::Login m_login;
    ReplyFramer m_framer;
    Step m_step = Step::Off;
    QByteArray m_tag; // of the command whose answer is awaited
    int m_tags = 0;
    bool m_offersIdle = false;
    bool m_deaf = false; // the connection was lost since the last IDLE began
    int m_pauseMs = firstPauseMs;
    int m_longestPauseMs = firstPauseMs;
    int m_replyLimitMs = 60000;
};

} // namespace vindel::check
