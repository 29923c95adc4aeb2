#pragma once

#include "check/Pop3Session.h"

#include <QByteArray>
#include <QString>

namespace vindel::check::imap {

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
// greeting, BYE and the STATUS answer are read and passed over. The user
// name and password go as quoted strings ('"' and '\' escaped); one holding
// CR, LF or NUL is refused rather than sent, as for POP3.
class Session {
public:
    // A fresh conversation, before the greeting.
    void reset() { m_unseen.clear(); }
    // One complete response (line end and any literals included) in the
    // given state.
    SessionStep answer(SessionState state, const QByteArray& response, const Credentials& credentials,
                       bool startTlsFirst);
    // LOGIN, sent after the greeting or, with STARTTLS, after the handshake.
    static SessionStep loginStep(const Credentials& credentials);

private:
    QString m_unseen; // the count of the STATUS answer, once heard
};

} // namespace vindel::check::imap
