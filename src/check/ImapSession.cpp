#include "check/ImapSession.h"

#include <QRegularExpression>

#include <algorithm>

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

SessionStep command(SessionState next, const QByteArray& words)
{
    const QByteArray line = tagOf(next) + ' ' + words;
    return {Act::Send, next, QString::fromLatin1(line), line + "\r\n", {}};
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

QString quotedText(QString value)
{
    return u'"' + value.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\"")) + u'"';
}

bool endsALine(const QByteArray& value)
{
    return value.contains('\r') || value.contains('\n') || value.contains('\0');
}

bool hasEightBitBytes(const QByteArray& value)
{
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

QString refusalText(const QString& what)
{
    return QStringLiteral("The %1 was not sent: it holds a line break or a NUL character. "
                          "Correct it in the settings.")
        .arg(what);
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

bool isUntagged(const QByteArray& response, const char* word)
{
    const QByteArray start = QByteArray("* ") + word;
    return response.size() > start.size() && response.left(start.size()).toUpper() == start &&
           (response[start.size()] == ' ' || response[start.size()] == '\r' ||
            response[start.size()] == '\n');
}

Tagged taggedAnswer(const QByteArray& response, const QByteArray& tag)
{
    if (tag.isEmpty() || !response.startsWith(tag + ' '))
        return Tagged::Other;
    const QByteArray status = response.mid(tag.size() + 1, 3).toUpper();
    const bool ok = status.startsWith("OK") && (status.size() == 2 || !std::isalnum(uchar(status[2])));
    return ok ? Tagged::Ok : Tagged::NotOk;
}

Login::Login(const QByteArray& tag, const Credentials& credentials)
{
    if (endsALine(credentials.userName)) {
        m_refusal = refusalText(QStringLiteral("user name"));
        return;
    }
    if (endsALine(credentials.passWord)) {
        m_refusal = refusalText(QStringLiteral("password"));
        return;
    }
    QByteArray piece = tag + " LOGIN ";
    QString shown = QString::fromLatin1(piece);
    // A literal ends the piece; its bytes open the next one, sent after "+".
    const auto add = [&](const QByteArray& value, const QString& valueShown, bool secret) {
        if (!hasEightBitBytes(value)) {
            piece += quoted(value);
            shown += secret ? valueShown : quotedText(valueShown);
            return;
        }
        piece += '{' + QByteArray::number(value.size()) + "}\r\n";
        m_pieces << piece;
        m_logWords << shown + (secret ? QStringLiteral("{*}") : QStringLiteral("{%1}").arg(value.size()));
        piece = value;
        shown = valueShown;
    };
    add(credentials.userName, credentials.userNameText, false);
    piece += ' ';
    shown += u' ';
    add(credentials.passWord, QStringLiteral("**********"), true);
    m_pieces << piece + "\r\n";
    m_logWords << shown;
}

bool Login::takeNext(QByteArray& bytes, QString& logWords)
{
    if (m_pieces.isEmpty())
        return false;
    bytes = m_pieces.takeFirst();
    logWords = m_logWords.takeFirst();
    return true;
}

SessionStep Session::loginStep(const Credentials& credentials)
{
    m_login = Login(tagOf(SessionState::Password), credentials);
    if (!m_login.refusal().isEmpty())
        return {Act::Refuse, SessionState::Password, {}, {}, m_login.refusal()};
    SessionStep step{Act::Send, SessionState::Password, {}, {}, {}};
    m_login.takeNext(step.command, step.logWords);
    return step;
}

SessionStep Session::answer(SessionState state, const QByteArray& response, const Credentials& credentials,
                            bool startTlsFirst)
{
    const QString text = pop3::replyText(response);
    if (state == SessionState::None)
        return {Act::Nothing, state, {}, {}, {}};

    if (response.startsWith("* ")) {
        if (isUntagged(response, "BYE")) {
            if (state == SessionState::Quit)
                return {Act::Nothing, state, {}, {}, {}}; // the answer to LOGOUT comes first
            return {Act::Reject, state, {}, {}, text.mid(2)};
        }
        if (state == SessionState::Connect) {
            if (isUntagged(response, "OK")) {
                if (startTlsFirst)
                    return command(SessionState::StartTls, "STARTTLS");
                return loginStep(credentials);
            }
            if (isUntagged(response, "PREAUTH")) {
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

    // The server waits for a literal of LOGIN: its next piece goes.
    if (state == SessionState::Password && (response.startsWith("+ ") || response.startsWith("+\r"))) {
        SessionStep step{Act::Send, SessionState::Password, {}, {}, {}};
        if (m_login.takeNext(step.command, step.logWords))
            return step;
    }

    // A tagged answer: only the one of the command now waited for counts.
    const QByteArray tag = tagOf(state);
    const Tagged answer = taggedAnswer(response, tag);
    const QString status = answer == Tagged::Other ? text : text.mid(tag.size() + 1);
    if (state == SessionState::StartTls && answer != Tagged::Ok)
        return starttlsRefused(text);
    if (answer != Tagged::Ok)
        return {Act::Reject, state, {}, {}, status};

    switch (state) {
    case SessionState::StartTls:
        return {Act::Secure, state, {}, {}, {}};
    case SessionState::Password:
        // An OK before the literal's bytes went cannot answer LOGIN: what
        // follows would be read as those bytes.
        if (m_login.isUnfinished())
            return {Act::Reject, state, {}, {}, status};
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
