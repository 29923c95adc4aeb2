#pragma once

#include "check/Pop3Session.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace vindel::check::imap {

// What the check and the push listener share of IMAP's wire.

// "* WORD" at the start of an untagged response, case aside.
bool isUntagged(const QByteArray& response, const char* word);

// How a response stands to the command tagged `tag`: not its answer, its
// OK, or its NO, BAD or anything else.
enum class Tagged { Other, Ok, NotOk };
Tagged taggedAnswer(const QByteArray& response, const QByteArray& tag);

// LOGIN, in the pieces it crosses the wire in. A user name or password of
// printable ASCII goes as a quoted string ('"' and '\' escaped); one with
// 8-bit bytes, which a quoted string may not hold, as a literal, whose bytes
// follow only after the server's "+" continuation. One holding CR, LF or NUL
// is refused rather than sent, as for POP3.
class Login {
public:
    Login() = default;
    Login(const QByteArray& tag, const Credentials& credentials);
    // Why nothing may be sent; empty when the login can go.
    QString refusal() const { return m_refusal; }
    // The next piece and how the log shows it (the password masked); false
    // when every piece has gone.
    bool takeNext(QByteArray& bytes, QString& logWords);
    // Pieces are still to go: no answer to LOGIN can be its last yet.
    bool isUnfinished() const { return !m_pieces.isEmpty(); }

private:
    QList<QByteArray> m_pieces;
    QStringList m_logWords;
    QString m_refusal;
};

// The IMAP conversation for one count, in the steps of the POP3 one: the
// greeting ("* OK", or "* PREAUTH" needing no login), with startTlsFirst
// STARTTLS and the handshake, LOGIN, STATUS INBOX (UNSEEN), LOGOUT.
//
// STATUS is how the count is asked: one command and one untagged line
// holding the number, whatever the count, without opening the mailbox (so
// nothing in it changes and no flags or message numbers are sent, as SELECT
// and SEARCH UNSEEN would send a number for every unseen message).
//
// Each command has its own tag; a tagged answer counts only for the command
// it names, any other tag is a rejected reply. Untagged lines other than the
// greeting, BYE and the STATUS answer are read and passed over.
class Session {
public:
    // A fresh conversation, before the greeting.
    void reset() { m_unseen.clear(); }
    // One complete response (line end and any literals included) in the
    // given state.
    SessionStep answer(SessionState state, const QByteArray& response, const Credentials& credentials,
                       bool startTlsFirst);
    // LOGIN, sent after the greeting or, with STARTTLS, after the handshake.
    SessionStep loginStep(const Credentials& credentials);

private:
    QString m_unseen; // the count of the STATUS answer, once heard
    Login m_login;    // the pieces of LOGIN still to send
};

} // namespace vindel::check::imap
