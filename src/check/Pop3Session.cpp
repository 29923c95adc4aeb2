#include "check/Pop3Session.h"

#include "check/MailCountReport.h"
#include "settings/ConfigStore.h"

namespace vindel::check {
namespace {

const QString stateConnect = QStringLiteral("CONNECT");
const QString stateUserName = QStringLiteral("USER_NAME");
const QString statePassword = QStringLiteral("PASSWORD");
const QString stateStat = QStringLiteral("STAT");
const QString stateQuit = QStringLiteral("QUIT");
constexpr int minuteMs = 60000;

// Replies cross the wire as 8-bit text: one byte, one character. Decoding
// byte for byte keeps every position (the fifth character is the fifth byte).
QString replyText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

// The count of a STAT reply: the text from the fifth character up to the
// next blank ("+OK 3 4567" gives "3", "+OK  3 4567" the empty text). A reply
// that ends after the count ("+OK 3", no size) still gives "3".
QString mailCount(const QString& reply)
{
    const QString rest = reply.mid(4);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u' ' && rest[end] != u'\r' && rest[end] != u'\n')
        ++end;
    return rest.left(end);
}

QByteArray commandBytes(const QString& text)
{
    return text.toLocal8Bit() + "\r\n";
}

// A value that would end the command line early and put a command of its own
// behind it.
bool endsALine(const QByteArray& value)
{
    return value.contains('\r') || value.contains('\n') || value.contains('\0');
}

} // namespace

Pop3Session::Pop3Session(settings::Globals& globals, CheckVariables& variables, TcpClient& tcp,
                         Timer& checkTimer, Timer& replyTimer, shell::StatusView& view, diag::EventLog& log,
                         diag::ErrorReporter& reporter, MailCountReport& report)
    : m_globals(globals), m_variables(variables), m_tcp(tcp), m_checkTimer(checkTimer),
      m_replyTimer(replyTimer), m_view(view), m_log(log), m_reporter(reporter), m_report(report)
{
    m_replyTimer.setEnabled(false);
    m_replyTimer.setHandler([this] {
        stopWaiting();
        if (m_timeoutHandler)
            m_timeoutHandler({10060, QStringLiteral("Connection timed out: the server did not answer")});
    });
}

void Pop3Session::setTimeoutHandler(std::function<void(const diag::Failure&)> handler)
{
    m_timeoutHandler = std::move(handler);
}

void Pop3Session::connectionOpened()
{
    m_framer.clear();
    m_rejected = false;
    armReplyLimit();
}

void Pop3Session::stopWaiting()
{
    m_replyTimer.setEnabled(false);
}

void Pop3Session::armReplyLimit()
{
    m_replyTimer.setInterval(m_replyLimitMs);
    m_replyTimer.setEnabled(true);
}

void Pop3Session::dataArrived(const QByteArray& bytes)
{
    if (m_rejected)
        return; // the check ended on a rejected reply; its connection has nothing more to say
    m_framer.feed(bytes);
    // Handling a reply can run nested event loops (the error report's
    // dialogs, the notice window) in which more bytes arrive; the outermost
    // call hands them on in order.
    if (m_draining)
        return;
    m_draining = true;
    while (auto reply = m_framer.next()) {
        if (reply->overlong) {
            m_variables.ErrorCount = 0;
            handleRejected(QStringLiteral("Reply longer than %1 bytes").arg(ReplyFramer::maxLineLength));
        } else {
            handleReply(reply->line);
        }
    }
    m_draining = false;
}

void Pop3Session::handleReply(const QByteArray& reply)
{
    m_variables.ErrorCount = 0;
    const QString text = replyText(reply);
    if (!reply.startsWith("+OK")) {
        handleRejected(text.mid(4));
        return;
    }
    m_log.write(text, diag::EventType::Information);

    const QString& state = m_variables.SessionState;
    const settings::ConfigRecord& config = m_globals.config;
    if (state == stateConnect) {
        sendCredential(stateUserName, QStringLiteral("Send User Name..."),
                       QStringLiteral("USER ") + config.UserName, "USER ",
                       m_config ? m_config->userNameBytes() : config.UserName.toUtf8(),
                       QStringLiteral("user name"));
    } else if (state == stateUserName) {
        sendCredential(statePassword, QStringLiteral("Send Password..."), QStringLiteral("PASS **********"),
                       "PASS ", m_config ? m_config->passWordBytes() : config.PassWord.toUtf8(),
                       QStringLiteral("password"));
    } else if (state == statePassword) {
        advance(stateStat, QStringLiteral("Now Checking..."), QStringLiteral("STAT"),
                commandBytes(stateStat));
    } else if (state == stateStat) {
        m_variables.SessionState = stateQuit;
        m_report.report(mailCount(text));
        m_log.write(stateQuit, diag::EventType::Information);
        send(commandBytes(stateQuit));
        armReplyLimit();
    } else if (state == stateQuit) {
        stopWaiting();
        m_tcp.close();
        // Bytes behind this answer came on the connection just closed: they
        // are no replies, neither of this check nor of the next.
        m_framer.clear();
        m_checkTimer.setInterval(minuteMs);
        m_checkTimer.setEnabled(true);
    }
    // An empty or unknown state answers nothing.
}

void Pop3Session::advance(const QString& newState, const QString& status, const QString& logWords,
                          const QByteArray& command)
{
    m_variables.SessionState = newState;
    m_view.setStatusText(status);
    m_view.refreshStatus();
    m_log.write(logWords, diag::EventType::Information);
    send(command);
    armReplyLimit();
}

void Pop3Session::sendCredential(const QString& newState, const QString& status, const QString& logWords,
                                 const QByteArray& word, const QByteArray& value, const QString& what)
{
    if (endsALine(value)) {
        refuseToSend(QStringLiteral("The %1 was not sent: it holds a line break or a NUL character. "
                                    "Correct it in the settings.")
                         .arg(what));
        return;
    }
    advance(newState, status, logWords, word + value + "\r\n");
}

void Pop3Session::refuseToSend(const QString& description)
{
    // The server has been sent nothing of the value; the connection goes, so
    // it waits for no command, and the check fails like a rejected reply.
    stopWaiting();
    m_framer.clear();
    m_rejected = true;
    m_tcp.close();
    m_log.write(description, diag::EventType::Warning);
    m_variables.raiseErrorCount();
    m_reporter.report(unsendableNumber, description);
}

void Pop3Session::send(const QByteArray& command)
{
    m_tcp.send(command); // a broken connection shows up as a connection error
}

void Pop3Session::handleRejected(const QString& errorText)
{
    // The check ends here; what comes next is the error report's decision.
    // Whatever else this connection sends (a server may send a thousand
    // "-ERR" lines at once) is not reported again.
    stopWaiting();
    m_framer.clear();
    m_rejected = true;
    m_tcp.ignoreIncoming(); // nor read: a flood stays with the server
    m_log.write(errorText, diag::EventType::Warning);
    m_variables.raiseErrorCount();
    m_reporter.report(rejectedReplyNumber, errorText);
}

} // namespace vindel::check
