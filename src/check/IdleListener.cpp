#include "check/IdleListener.h"

#include <algorithm>
#include <utility>

namespace vindel::check {

IdleListener::IdleListener(TcpClient& tcp, Timer& timer, diag::EventLog& log, std::function<void()> changed)
    : m_tcp(tcp), m_timer(timer), m_log(log), m_changed(std::move(changed))
{
    m_timer.setEnabled(false);
    m_timer.setHandler([this] { timeUp(); });
    m_tcp.setDataHandler([this](const QByteArray& bytes) { dataArrived(bytes); });
    m_tcp.setErrorHandler([this](const diag::Failure& failure) { lost(failure.description); });
    m_tcp.setClosedHandler([this] { lost(QStringLiteral("the server closed the connection")); });
    m_tcp.setSecuredHandler([this](const TcpClient::Secured&) {
        if (m_step == Step::StartTls)
            login();
    });
    m_framer.setLiterals(true);
}

bool IdleListener::listensTo(const ServerAddress& address, const Credentials& credentials) const
{
    return m_step != Step::Off && address == m_address && credentials.userName == m_credentials.userName &&
           credentials.passWord == m_credentials.passWord;
}

void IdleListener::listen(const ServerAddress& address, const Credentials& credentials, int longestPauseMs)
{
    m_longestPauseMs = std::max(firstPauseMs, longestPauseMs);
    if (listensTo(address, credentials))
        return;
    m_address = address;
    m_credentials = credentials;
    m_pauseMs = firstPauseMs;
    m_deaf = false; // the count that asked for listening is fresh
    connect();
}

void IdleListener::stop()
{
    m_timer.setEnabled(false);
    m_tcp.close();
    m_framer.clear();
    m_step = Step::Off;
}

void IdleListener::listenAfresh()
{
    if (m_step == Step::Off || m_step == Step::NoIdle)
        return;
    m_pauseMs = firstPauseMs;
    m_deaf = true;
    connect();
}

void IdleListener::connect()
{
    m_tcp.close();
    m_framer.clear();
    m_offersIdle = false;
    m_tags = 0; // each connection numbers its commands from i1
    if (auto failure = m_tcp.connectToServer(m_address)) {
        lost(failure->description);
        return;
    }
    m_step = Step::Greeting;
    wait(m_replyLimitMs);
}

void IdleListener::dataArrived(const QByteArray& bytes)
{
    m_framer.feed(bytes);
    while (auto response = m_framer.next()) {
        if (m_step == Step::Off || m_step == Step::Pause || m_step == Step::NoIdle)
            return;
        if (response->overlong)
            lost(QStringLiteral("a response longer than %1 bytes").arg(ReplyFramer::maxLineLength));
        else
            handle(response->line);
    }
}

void IdleListener::handle(const QByteArray& response)
{
    const QString text = pop3::replyText(response).trimmed();
    if (imap::isUntagged(response, "BYE"))
        return lost(text);
    if (response.startsWith("* ")) {
        if (m_step == Step::Greeting) {
            if (imap::isUntagged(response, "PREAUTH") && m_address.security != Security::StartTls)
                return send(Step::Capability, "CAPABILITY");
            if (!imap::isUntagged(response, "OK"))
                return lost(text);
            if (m_address.security == Security::StartTls)
                return send(Step::StartTls, "STARTTLS");
            return login();
        }
        if (m_step == Step::Capability && imap::isUntagged(response, "CAPABILITY"))
            m_offersIdle = response.toUpper().simplified().split(' ').contains("IDLE");
        // While idling, whatever is not a status line (EXISTS, EXPUNGE,
        // FETCH, RECENT...) tells of a change.
        const bool statusLine = imap::isUntagged(response, "OK") || imap::isUntagged(response, "NO") ||
                                imap::isUntagged(response, "BAD");
        if ((m_step == Step::Idle || m_step == Step::Done) && !statusLine) {
            m_log.write(QStringLiteral("INBOX changed: %1").arg(text), diag::EventType::Information);
            m_changed();
        }
        return;
    }

    if (response.startsWith("+")) {
        QByteArray piece;
        QString logWords;
        if (m_step == Step::Login && m_login.takeNext(piece, logWords)) {
            m_tcp.send(piece);
            return wait(m_replyLimitMs);
        }
        if (m_step != Step::Idling)
            return lost(QStringLiteral("an unasked continuation: %1").arg(text));
        m_step = Step::Idle;
        m_log.write(QStringLiteral("Listening for changes to INBOX"), diag::EventType::Information);
        wait(renewalMs);
        // What changed while nobody listened was not heard: a check finds it.
        if (std::exchange(m_deaf, false))
            m_changed();
        return;
    }

    const imap::Tagged answer = imap::taggedAnswer(response, m_tag);
    if (answer == imap::Tagged::NotOk && (m_step == Step::Idling || m_step == Step::Examine)) {
        m_offersIdle = false;
        m_step = Step::Capability; // as if IDLE had not been offered
    } else if (answer != imap::Tagged::Ok) {
        return lost(text);
    }
    switch (m_step) {
    case Step::StartTls:
        // Bytes behind the answer were sent in the clear: never taken as
        // the server's words.
        if (m_framer.pendingSize() > 0)
            return lost(QStringLiteral("text after the answer to STARTTLS"));
        if (auto failure = m_tcp.startTls())
            return lost(failure->description);
        return wait(m_replyLimitMs);
    case Step::Login:
        if (m_login.isUnfinished())
            return lost(QStringLiteral("LOGIN answered before it was whole"));
        return send(Step::Capability, "CAPABILITY");
    case Step::Capability:
        if (!m_offersIdle) {
            m_log.write(
                QStringLiteral("The server offers no IDLE: the check interval alone paces the checks"),
                diag::EventType::Information);
            m_timer.setEnabled(false);
            m_tcp.close();
            m_step = Step::NoIdle;
            return;
        }
        return send(Step::Examine, "EXAMINE INBOX");
    case Step::Examine:
    case Step::Done:
    case Step::Idle: // the server ended the IDLE itself
        return send(Step::Idling, "IDLE");
    default:
        return lost(text); // IDLE answered before it began
    }
}

void IdleListener::send(Step next, const QByteArray& words)
{
    m_tag = 'i' + QByteArray::number(++m_tags);
    m_step = next;
    m_tcp.send(m_tag + ' ' + words + "\r\n");
    wait(m_replyLimitMs);
}

void IdleListener::login()
{
    m_tag = 'i' + QByteArray::number(++m_tags);
    m_login = imap::Login(m_tag, m_credentials);
    QByteArray piece;
    QString logWords;
    if (!m_login.takeNext(piece, logWords))
        return lost(m_login.refusal()); // the check says what is wrong with it
    m_step = Step::Login;
    m_tcp.send(piece);
    wait(m_replyLimitMs);
}

void IdleListener::timeUp()
{
    switch (m_step) {
    case Step::Pause:
        return connect();
    case Step::Idle:
        // The IDLE lasted until its renewal: the connection holds.
        m_pauseMs = firstPauseMs;
        m_step = Step::Done;
        m_tcp.send("DONE\r\n");
        return wait(m_replyLimitMs);
    case Step::Off:
    case Step::NoIdle:
        m_timer.setEnabled(false);
        return;
    default:
        return lost(QStringLiteral("the server did not answer"));
    }
}

void IdleListener::lost(const QString& why)
{
    if (m_step == Step::Off || m_step == Step::NoIdle)
        return;
    m_tcp.close();
    m_framer.clear();
    m_step = Step::Pause;
    m_deaf = true;
    m_log.write(
        QStringLiteral("Listening for changes stopped (%1); again in %2 s").arg(why).arg(m_pauseMs / 1000),
        diag::EventType::Information);
    wait(m_pauseMs);
    m_pauseMs = std::min(2 * m_pauseMs, m_longestPauseMs);
}

void IdleListener::wait(int milliseconds)
{
    m_timer.setInterval(milliseconds);
    m_timer.setEnabled(true);
}

} // namespace vindel::check
