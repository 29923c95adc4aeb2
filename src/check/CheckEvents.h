#pragma once

#include "check/CheckVariables.h"
#include "check/Pop3Session.h"
#include "diag/Failure.h"

#include <QString>

#include <optional>

namespace vindel::check {

// What a check needs of the settings, taken afresh at every tick.
struct CheckSettings {
    QString server; // the server setting, "host", "host:port" or "[v6]:port"
    Credentials credentials;
    qint16 interval = 0; // minutes between checks
};

// After a failed check: what the check timer does next.
enum class Resume {
    Soon,         // a check about one second later
    Stopped,      // the timer stays as the check left it: stopped
    StopAtMinute, // stopped, with its interval back at one minute
};

// What a check tells the rest of the program, and asks of it. The program
// implements it: it shows the check's progress and results and decides how
// a failure is escalated; the check itself knows no windows.
class CheckEvents {
public:
    virtual ~CheckEvents() = default;
    virtual CheckSettings settings() const = 0;
    // A check is starting ("Connecting..."): shown before the settings are
    // re-read.
    virtual void checkStarting() = 0;
    // Re-reads changed settings and shows that the check connects; a failure
    // ends the check before it connects.
    virtual std::optional<diag::Failure> prepareCheck() = 0;
    // The conversation has reached a state (USER sent, PASS sent, STAT sent).
    virtual void stepReached(SessionState state) = 0;
    // The server's count, and the one reported before (the check then
    // remembers this one).
    virtual void countFound(const QString& count, const QString& previous) = 0;
    // A failed check, with the error count that includes it.
    virtual Resume failed(const diag::Failure& failure, qint16 errorCount) = 0;
    // The network is down: checking goes on at the minute tick.
    virtual void offLine() = 0;
    // A failure the program cannot go on after; the program ends.
    virtual void fatal(const diag::Failure& failure) = 0;
};

} // namespace vindel::check
