#include "check/MailboxCheck.h"

#include "check/ConnectionErrors.h"
#include "check/ServerAddress.h"
#include "diag/Failures.h"

namespace vindel::check {
namespace failures = diag::failures;
namespace {

QString errorText(const diag::Failure& failure)
{
    return QStringLiteral("[Error] %1, [Description] %2").arg(failure.number).arg(failure.description);
}

} // namespace

MailboxCheck::MailboxCheck(TcpClient& tcp, Timer& checkTimer, Timer& replyTimer, diag::EventLog& log,
                           CheckEvents& events)
    : m_tcp(tcp), m_checkTimer(checkTimer), m_replyTimer(replyTimer), m_log(log), m_events(events)
{
    m_checkTimer.setHandler([this] { tick(); });
    m_replyTimer.setEnabled(false);
    m_replyTimer.setHandler(
        [this] { connectionFailed(failures::TimedOut.about(QStringLiteral("the server did not answer"))); });
    m_tcp.setDataHandler([this](const QByteArray& bytes) { dataArrived(bytes); });
    m_tcp.setErrorHandler([this](const diag::Failure& failure) { connectionFailed(failure); });
    m_tcp.setSecuredHandler([this](const TcpClient::Secured& s) { secured(s); });
}

void MailboxCheck::listenWith(TcpClient& tcp, Timer& timer)
{
    m_listener.emplace(tcp, timer, m_log, [this] {
        if (isPacing())
            checkSoon();
    });
    m_listener->setReplyLimit(m_replyLimitMs);
}

void MailboxCheck::setReplyLimit(int milliseconds)
{
    m_replyLimitMs = milliseconds;
    if (m_listener)
        m_listener->setReplyLimit(milliseconds);
}

void MailboxCheck::begin()
{
    m_variables.ErrorCount = 0;
    m_variables.PrevMailCount = QStringLiteral("-1");
    m_variables.CheckAtNextTick = true;
}

void MailboxCheck::checkSoon()
{
    m_variables.CheckAtNextTick = true;
    m_checkTimer.setInterval(soonMs);
    m_checkTimer.setEnabled(true);
}

void MailboxCheck::pause()
{
    m_checkTimer.setEnabled(false);
}

void MailboxCheck::shutDown()
{
    stopWaiting();
    m_checkTimer.setEnabled(false);
    m_tcp.close();
    if (m_listener)
        m_listener->stop();
}

void MailboxCheck::checkCommand()
{
    if (!m_checkTimer.isEnabled())
        return; // a check is under way, or checking has stopped
    m_variables.CheckAtNextTick = true;
    tick();
}

void MailboxCheck::tick()
{
    std::optional<diag::Failure> failure;
    if (m_variables.TicksSinceCheck == m_events.settings().interval) {
        m_variables.TicksSinceCheck = 0;
        failure = startCheck();
    } else if (m_variables.CheckAtNextTick) {
        m_variables.CheckAtNextTick = false;
        m_variables.TicksSinceCheck = 1;
        failure = startCheck();
    } else if (m_variables.TicksSinceCheck == 32767) {
        failure = failures::Overflow(); // the tick count cannot go past its 16 bits
    } else {
        ++m_variables.TicksSinceCheck;
    }

    if (failure) {
        m_tcp.close();
        fail(*failure);
    }
}

std::optional<diag::Failure> MailboxCheck::startCheck()
{
    m_checkTimer.setInterval(0);
    m_checkTimer.setEnabled(false);
    m_events.checkStarting();
    if (auto failure = m_events.prepareCheck())
        return failure;

    // A connection left open by a rejected reply belongs to a check that has
    // ended; drop it so the new check starts on a fresh connection instead of
    // failing on the old one.
    m_tcp.close();
    const CheckSettings settings = m_events.settings();
    const ServerAddress address = parseServerAddress(settings.server);
    if (!address.problem.isEmpty()) {
        // Logged like the connection's own failures, so the log tells why
        // no connection was made.
        const diag::Failure failure = failures::BadTlsSetting.saying(address.problem);
        m_log.writeAlways(errorText(failure), diag::EventType::Warning);
        return failure;
    }
    // Another server or login than the one listened to: the listening ends
    // now, and starts again with the first count of the new one.
    if (m_listener && !m_listener->listensTo(address, settings.credentials))
        m_listener->stop();
    if (auto failure = m_tcp.connectToServer(address))
        return failure;
    m_address = address;
    m_variables.state = SessionState::Connect;
    m_credentials = settings.credentials;
    m_framer.clear();
    m_framer.setLiterals(address.protocol == Protocol::Imap);
    m_imap.reset();
    m_rejected = false;
    armReplyLimit();
    return std::nullopt;
}

void MailboxCheck::dataArrived(const QByteArray& bytes)
{
    if (m_rejected)
        return; // the check ended on this connection; it has nothing more to say
    m_framer.feed(bytes);
    // Handling a reply runs nested event loops (the error report's boxes and
    // dialog, the notice window) in which more bytes arrive; the outermost
    // call hands them on in order, so replies are never handled inside one
    // another.
    if (m_draining)
        return;
    m_draining = true;
    while (auto reply = m_framer.next()) {
        if (reply->overlong) {
            m_variables.ErrorCount = 0;
            endOnReply(failures::RejectedReply,
                       QStringLiteral("Reply longer than %1 bytes").arg(ReplyFramer::maxLineLength));
        } else {
            handleReply(reply->line);
        }
    }
    m_draining = false;
}

void MailboxCheck::endOnReply(const diag::Catalogued& failure, const QString& description)
{
    // The check ends here; what comes next is the error report's decision.
    // Whatever else this connection sends (a server may send a thousand
    // "-ERR" lines at once) is not reported again, nor read: a flood stays
    // with the server. A refused credential drops the connection, so the
    // server waits for no command.
    stopWaiting();
    m_framer.clear();
    m_rejected = true;
    if (failure.number == failures::UnsendableCredential.number)
        m_tcp.close();
    else
        m_tcp.ignoreIncoming();
    m_log.write(description, diag::EventType::Warning);
    fail(failure.saying(description));
}

void MailboxCheck::handleReply(const QByteArray& reply)
{
    using Act = SessionStep::Act;
    m_variables.ErrorCount = 0;
    const bool startTlsFirst = m_address.security == Security::StartTls;
    const SessionStep step = m_address.protocol == Protocol::Imap
                                 ? m_imap.answer(m_variables.state, reply, m_credentials, startTlsFirst)
                                 : pop3::answer(m_variables.state, reply, m_credentials, startTlsFirst);
    if (step.act != Act::Reject && step.act != Act::NoTls)
        m_log.write(pop3::replyText(reply), diag::EventType::Information);

    switch (step.act) {
    case Act::Nothing:
        break;
    case Act::Send:
        sendStep(step);
        break;
    case Act::Secure:
        beginTls();
        break;
    case Act::NoTls:
        m_framer.clear();
        m_rejected = true; // nothing more of this connection is read
        connectionFailed(failures::StlsRefused.saying(step.text));
        break;
    case Act::Report: {
        m_variables.state = step.next;
        // Listening starts before the report, whose notice may stay up
        // while the program is ended. (Listening to another server was
        // stopped when this check started.)
        if (m_listener && m_address.protocol == Protocol::Imap)
            m_listener->listen(m_address, m_credentials, m_events.settings().interval * minuteMs);
        m_events.countFound(step.text, m_variables.PrevMailCount);
        m_variables.PrevMailCount = step.text;
        m_log.write(step.logWords, diag::EventType::Information);
        m_tcp.send(step.command);
        armReplyLimit();
        break;
    }
    case Act::Finish:
        stopWaiting();
        m_tcp.close();
        // Bytes behind this answer came on the connection just closed: they
        // are no replies, neither of this check nor of the next.
        m_framer.clear();
        m_checkTimer.setInterval(minuteMs);
        m_checkTimer.setEnabled(true);
        break;
    case Act::Reject:
        endOnReply(failures::RejectedReply, step.text);
        break;
    case Act::Refuse: // nothing of the value has been sent
        endOnReply(failures::UnsendableCredential, step.text);
        break;
    }
}

void MailboxCheck::sendStep(const SessionStep& step)
{
    m_variables.state = step.next;
    m_events.stepReached(step.next);
    m_log.write(step.logWords, diag::EventType::Information);
    m_tcp.send(step.command); // a broken connection shows up as a connection error
    armReplyLimit();
}

SessionStep MailboxCheck::loginStep()
{
    return m_address.protocol == Protocol::Imap ? m_imap.loginStep(m_credentials)
                                                : pop3::userStep(m_credentials);
}

void MailboxCheck::beginTls()
{
    // Whatever came behind the "+OK" before the handshake was sent in the
    // clear, where anyone on the way could have put it: it is never taken as
    // a reply, and the check fails rather than guess where TLS begins.
    std::optional<diag::Failure> failure;
    if (m_framer.pendingSize() > 0)
        failure = failures::TlsHandshakeFailed.saying(
            QStringLiteral("The server sent more text after agreeing to STLS, before the "
                           "TLS handshake: the connection was not encrypted"));
    else
        failure = m_tcp.startTls();
    if (failure) {
        m_framer.clear();
        m_rejected = true;
        connectionFailed(*failure);
        return;
    }
    armReplyLimit(); // the handshake has the time of one reply
}

void MailboxCheck::secured(const TcpClient::Secured& secured)
{
    m_log.write(QStringLiteral("%1 with %2, certificate %3, SHA-256 %4")
                    .arg(secured.protocol, m_address.host, secured.subject, secured.fingerprint),
                diag::EventType::Information);
    if (m_variables.state != SessionState::StartTls)
        return; // implicit TLS: the greeting comes next
    m_variables.ErrorCount = 0;
    const SessionStep step = loginStep();
    if (step.act == SessionStep::Act::Refuse)
        endOnReply(failures::UnsendableCredential, step.text);
    else
        sendStep(step);
}

void MailboxCheck::connectionFailed(const diag::Failure& failure)
{
    stopWaiting();
    m_tcp.close();

    switch (classify(failure)) {
    case diag::FailureKind::Transient:
        m_log.writeAlways(errorText(failure), diag::EventType::Warning);
        fail(failure);
        break;
    case diag::FailureKind::OffLine:
        m_events.offLine();
        m_checkTimer.setInterval(minuteMs);
        m_checkTimer.setEnabled(true);
        break;
    case diag::FailureKind::ByNumber: // classify() never gives it
    case diag::FailureKind::Fatal:
        m_log.writeAlways(errorText(failure), diag::EventType::Error);
        m_events.fatal(failure);
        break;
    }
}

void MailboxCheck::fail(const diag::Failure& failure)
{
    m_variables.raiseErrorCount();
    switch (m_events.failed(failure, m_variables.ErrorCount)) {
    case Resume::Soon:
        checkSoon();
        break;
    case Resume::Stopped:
        break;
    case Resume::StopAtMinute:
        m_checkTimer.setInterval(minuteMs);
        break;
    }
}

void MailboxCheck::armReplyLimit()
{
    m_replyTimer.setInterval(m_replyLimitMs);
    m_replyTimer.setEnabled(true);
}

void MailboxCheck::stopWaiting()
{
    m_replyTimer.setEnabled(false);
}

} // namespace vindel::check
