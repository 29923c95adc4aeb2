#pragma once

#include "check/CheckEvents.h"
#include "diag/Failure.h"
#include "shell/Look.h"

namespace vindel::shell {

// The escalating report of a failed check, on the error count that already
// includes this failure: the first and second failure in a row show the
// message, then the settings dialog, and retry a second later; the third
// shows the error look and leaves checking stopped; from the fourth on the
// timer is parked at one minute, stopped, with the settings entry usable.
class ErrorReport {
public:
    explicit ErrorReport(Desktop& desktop) : m_desktop(desktop), m_painter(desktop) {}

    check::Resume report(const diag::Failure& failure, qint16 errorCount);

private:
    Desktop& m_desktop;
    LookPainter m_painter;
};

} // namespace vindel::shell
