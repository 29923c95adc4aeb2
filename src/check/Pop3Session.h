#pragma once

#include "check/CheckVariables.h"

#include <QByteArray>
#include <QString>

namespace vindel::check {

// The user name and password as a check sends them (their stored bytes), and
// the user name as the event log shows it.
struct Credentials {
    QByteArray userName;
    QByteArray passWord;
    QString userNameText;
};

// What one reply makes the conversation do; the check carries it out.
struct SessionStep {
    enum class Act {
        Nothing, // an accepted reply in no state: nothing answers it
        Send,    // go to next, log logWords, send command
        Report,  // go to next, report the count in text, then send QUIT
        Finish,  // the answer to QUIT: the check is over
        Reject,  // not "+OK": a rejected reply, text is the description
        Refuse,  // a credential that would end its command line
        Secure,  // "+OK" to STLS: the handshake comes next, then USER
        NoTls,   // anything else to STLS: the check fails, text is the description
    };
    Act act = Act::Nothing;
    SessionState next = SessionState::None;
    QString logWords;
    QByteArray command;
    QString text;
};

// The POP3 conversation as a pure function: the greeting, USER, PASS, STAT
// and QUIT, one step per "+OK" reply; with startTlsFirst the greeting is
// answered with STLS, and USER follows the handshake (userStep). Only the first three characters
// decide; the count is the text from the fifth character to the next blank.
// Only the four commands ever reach the server: a user name or password that
// holds CR, LF or NUL (which would end the command and start another) is
// refused instead of sent.
namespace pop3 {
// One complete reply, line end included, in the given state.
SessionStep answer(SessionState state, const QByteArray& reply, const Credentials& credentials,
                   bool startTlsFirst = false);
// The first step of the login: USER, sent after the greeting or, with STLS,
// after the handshake.
SessionStep userStep(const Credentials& credentials);

// Replies cross the wire as 8-bit text: one byte, one character.
QString replyText(const QByteArray& bytes);
// The count of a STAT reply ("+OK 3 4567" gives "3", "+OK  3 4567" the
// empty text; "+OK 3" without a size still gives "3").
QString mailCount(const QString& reply);
} // namespace pop3

} // namespace vindel::check
