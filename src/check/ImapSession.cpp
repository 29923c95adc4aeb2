#include "check/ImapSession.h"

#include "diag/Failures.h"

#include <QRegularExpression>

namespace vindel::check::imap {
namespace {
using Act = SessionStep::Act;

// The tag of the command whose answer the state waits for.
QByteArray tagOf(SessionState state)
{
    switch (state) {
    case SessionState::StartTls:
        return "v1";
    case SessionState::Password:
        return "v2";
    case SessionState::Stat:
        return "v3";
    case SessionState::Quit:
        return "v4";
    default:
        return {};
    }
}

SessionStep command(SessionState next, const QByteArray& words, const QString& logWords = {})
{
    const QByteArray line = tagOf(next) + ' ' + words;
    return {Act::Send, next, logWords.isEmpty() ? QString::fromLatin1(line) : logWords, line + "\r\n", {}};
}

QByteArray quoted(const QByteArray& value)
{
    QByteArray out = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

bool endsALine(const QByteArray& value)
{
    return value.contains('\r') || value.contains('\n') || value.contains('\0');
}

SessionStep refused(const QString& what)
{
    return {Act::Refuse,
            SessionState::Password,
            {},
            {},
            QStringLiteral("The %1 was not sent: it holds a line break or a NUL character. "
                           "Correct it in the settings.")
                .arg(what)};
}

// "* WORD" at the start of an untagged line, case aside.
bool untagged(const QByteArray& response, const char* word)
{
    const QByteArray start = QByteArray("* ") + word;
    return response.size() > start.size() && response.left(start.size()).toUpper() == start &&
           (response[start.size()] == ' ' || response[start.size()] == '\r' ||
            response[start.size()] == '\n');
}

// The UNSEEN number of "* STATUS INBOX (... UNSEEN n ...)", the name as an
// atom, quoted or a literal; empty when the line holds none or is about
// another mailbox.
QString unseenOf(const QByteArray& response)
{
    static const QRegularExpression status(
        QStringLiteral(R"(^\* STATUS (?:INBOX|"INBOX"|\{5\}\r\nINBOX) \([^)]*\bUNSEEN (\d+)[^)]*\)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    return status.match(QString::fromLatin1(response)).captured(1);
}

SessionStep starttlsRefused(const QString& text)
{
    return {Act::NoTls,
            SessionState::StartTls,
            {},
            {},
            QStringLiteral("The server refused STARTTLS, so the connection cannot be encrypted: %1")
                .arg(text.trimmed())};
}

} // namespace

SessionStep Session::loginStep(const Credentials& credentials)
{
    if (endsALine(credentials.userName))
        return refused(QStringLiteral("user name"));
    if (endsALine(credentials.passWord))
        return refused(QStringLiteral("password"));
    QString shownName = credentials.userNameText;
    shownName.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return command(SessionState::Password,
                   "LOGIN " + quoted(credentials.userName) + ' ' + quoted(credentials.passWord),
                   QStringLiteral("v2 LOGIN \"%1\" **********").arg(shownName));
}

SessionStep Session::answer(SessionState state, const QByteArray& response, const Credentials& credentials,
                            bool startTlsFirst)
{
    const QString text = pop3::replyText(response);
    if (state == SessionState::None)
        return {Act::Nothing, state, {}, {}, {}};

    if (response.startsWith("* ")) {
        if (untagged(response, "BYE")) {
            if (state == SessionState::Quit)
                return {Act::Nothing, state, {}, {}, {}}; // the answer to LOGOUT comes first
            return {Act::Reject, state, {}, {}, text.mid(2)};
        }
        if (state == SessionState::Connect) {
            if (untagged(response, "OK")) {
                if (startTlsFirst)
                    return command(SessionState::StartTls, "STARTTLS");
                return loginStep(credentials);
            }
            if (untagged(response, "PREAUTH")) {
                // Logged in before any TLS could start: nothing is sent in the clear.
                if (startTlsFirst)
                    return starttlsRefused(text);
                return command(SessionState::Stat, "STATUS INBOX (UNSEEN)");
            }
            return {Act::Reject, state, {}, {}, text.mid(2)};
        }
        if (state == SessionState::Stat) {
            const QString unseen = unseenOf(response);
            if (!unseen.isEmpty())
                m_unseen = unseen;
        }
        return {Act::Nothing, state, {}, {}, {}};
    }

    // A tagged answer: only the one of the command now waited for counts.
    const QByteArray tag = tagOf(state);
    const bool ours = !tag.isEmpty() && response.startsWith(tag + ' ');
    const QString status = ours ? text.mid(tag.size() + 1) : text;
    const bool ok = ours && status.startsWith(QStringLiteral("OK"), Qt::CaseInsensitive) &&
                    (status.size() == 2 || !status[2].isLetterOrNumber());
    if (state == SessionState::StartTls && !ok)
        return starttlsRefused(text);
    if (!ok)
        return {Act::Reject, state, {}, {}, status};

    switch (state) {
    case SessionState::StartTls:
        return {Act::Secure, state, {}, {}, {}};
    case SessionState::Password:
        return command(SessionState::Stat, "STATUS INBOX (UNSEEN)");
    case SessionState::Stat: {
        if (m_unseen.isEmpty())
            return {Act::Reject, state, {}, {}, QStringLiteral("The server gave no UNSEEN count for INBOX")};
        SessionStep step = command(SessionState::Quit, "LOGOUT");
        step.act = Act::Report;
        step.text = m_unseen;
        return step;
    }
    case SessionState::Quit:
        return {Act::Finish, state, {}, {}, {}};
    default:
        break;
    }
    return {Act::Reject, state, {}, {}, status};
}

} // namespace vindel::check::imap
