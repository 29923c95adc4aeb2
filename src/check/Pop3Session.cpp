#include "check/Pop3Session.h"

#include "diag/Failures.h"

namespace vindel::check::pop3 {
namespace {

QByteArray commandBytes(const QByteArray& text)
{
    return text + "\r\n";
}

// A value that would end the command line early and put a command of its own
// behind it.
bool endsALine(const QByteArray& value)
{
    return value.contains('\r') || value.contains('\n') || value.contains('\0');
}

SessionStep sendCredential(SessionState next, const QString& logWords, const QByteArray& word,
                           const QByteArray& value, const QString& what)
{
    if (endsALine(value))
        return {SessionStep::Act::Refuse,
                next,
                {},
                {},
                QStringLiteral("The %1 was not sent: it holds a line break or a NUL character. "
                               "Correct it in the settings.")
                    .arg(what)};
    return {SessionStep::Act::Send, next, logWords, commandBytes(word + value), {}};
}

} // namespace

QString replyText(const QByteArray& bytes)
{
    // Decoding byte for byte keeps every position (the fifth character is
    // the fifth byte).
    return QString::fromLatin1(bytes);
}

QString mailCount(const QString& reply)
{
    const QString rest = reply.mid(4);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u' ' && rest[end] != u'\r' && rest[end] != u'\n')
        ++end;
    return rest.left(end);
}

SessionStep userStep(const Credentials& credentials)
{
    return sendCredential(SessionState::UserName, QStringLiteral("USER ") + credentials.userNameText, "USER ",
                          credentials.userName, QStringLiteral("user name"));
}

SessionStep answer(SessionState state, const QByteArray& reply, const Credentials& credentials,
                   bool startTlsFirst)
{
    using Act = SessionStep::Act;
    const QString text = replyText(reply);
    if (state == SessionState::StartTls && !reply.startsWith("+OK")) {
        // Never on without TLS: nothing of the login goes out in the clear.
        return {Act::NoTls, state, {}, {}, diag::failures::StlsRefused.about(text.trimmed()).description};
    }
    if (!reply.startsWith("+OK"))
        return {Act::Reject, state, {}, {}, text.mid(4)};

    switch (state) {
    case SessionState::Connect:
        if (startTlsFirst)
            return {Act::Send, SessionState::StartTls, QStringLiteral("STLS"), commandBytes("STLS"), {}};
        return userStep(credentials);
    case SessionState::StartTls:
        return {Act::Secure, state, {}, {}, {}};
    case SessionState::UserName:
        return sendCredential(SessionState::Password, QStringLiteral("PASS **********"), "PASS ",
                              credentials.passWord, QStringLiteral("password"));
    case SessionState::Password:
        return {Act::Send, SessionState::Stat, QStringLiteral("STAT"), commandBytes("STAT"), {}};
    case SessionState::Stat:
        return {Act::Report, SessionState::Quit, QStringLiteral("QUIT"), commandBytes("QUIT"),
                mailCount(text)};
    case SessionState::Quit:
        return {Act::Finish, SessionState::Quit, {}, {}, {}};
    case SessionState::None:
        break;
    }
    return {Act::Nothing, state, {}, {}, {}}; // an empty state answers nothing
}

} // namespace vindel::check::pop3
