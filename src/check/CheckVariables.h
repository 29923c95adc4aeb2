#pragma once

#include <QString>
#include <QtGlobal>

namespace vindel::check {

// The check's working variables, owned by the status window's behaviour.
struct CheckVariables {
    QString SessionState;       // "", "CONNECT", "USER_NAME", "PASSWORD", "STAT", "QUIT"
    qint16 ErrorCount = 0;      // consecutive failures since the server last answered
    QString PrevMailCount;      // count reported last, compared as text
    qint16 TicksSinceCheck = 0; // timer ticks since the last check started

    // Adds one failure; the count stops at 32767.
    void raiseErrorCount()
    {
        if (ErrorCount < 32767)
            ++ErrorCount;
    }
};

} // namespace vindel::check
