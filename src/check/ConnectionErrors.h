#pragma once

#include "check/CheckVariables.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/ErrorReporter.h"
#include "diag/EventLog.h"
#include "shell/AppControl.h"
#include "shell/MessageBoxes.h"
#include "shell/StatusView.h"

namespace vindel::check {

// How a connection error is taken: as its creator named it, otherwise by its
// Windows Sockets number; a number the table does not list is fatal.
diag::FailureKind classify(const diag::Failure& failure);

// Handles a failed connection: closes it, then a transient error is logged
// and reported (escalating), being off line shows "OFFLINE" and goes back to
// the minute tick, and anything else is logged, shown and ends the program.
class ConnectionErrors {
public:
    ConnectionErrors(CheckVariables& variables, TcpClient& tcp, Timer& checkTimer, shell::StatusView& view,
                     diag::EventLog& log, diag::ErrorReporter& reporter, shell::MessageBoxes& messages,
                     shell::AppControl& app);

    void handle(const diag::Failure& failure);

private:
    CheckVariables& m_variables;
    TcpClient& m_tcp;
    Timer& m_checkTimer;
    shell::StatusView& m_view;
    diag::EventLog& m_log;
    diag::ErrorReporter& m_reporter;
    shell::MessageBoxes& m_messages;
    shell::AppControl& m_app;
};

} // namespace vindel::check
