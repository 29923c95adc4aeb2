#pragma once

#include <QString>
#include <QtGlobal>

namespace vindel::check {

// Where a check's conversation stands: one step per accepted reply.
// StartTls is the wait for the answer to STLS and for the handshake after it.
enum class SessionState { None, Connect, StartTls, UserName, Password, Stat, Quit };

// The check's working values, owned by the MailboxCheck.
struct CheckVariables {
    SessionState state = SessionState::None;
    qint16 ErrorCount = 0;        // consecutive failures since the server last answered
    QString PrevMailCount;        // count reported last, compared as text
    qint16 TicksSinceCheck = 0;   // timer ticks since the last check started
    bool CheckAtNextTick = false; // the next tick starts a check

    // Adds one failure; the count stops at 32767.
    void raiseErrorCount()
    {
        if (ErrorCount < 32767)
            ++ErrorCount;
    }
};

} // namespace vindel::check
