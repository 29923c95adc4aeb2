#pragma once

#include "check/CheckVariables.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/ErrorReporter.h"
#include "diag/Failure.h"
#include "settings/ConfigRecord.h"
#include "shell/StatusView.h"

#include <functional>
#include <optional>

namespace vindel::check {

class Pop3Session;

// Paces the checks: the check timer ticks once a minute, and a check starts
// when the ticks reach the interval or when a check was asked for. The timer
// is stopped for the whole of a check, which keeps two checks apart.
class CheckCycle {
public:
    using ConfigLoader = std::function<std::optional<diag::Failure>()>;

    CheckCycle(settings::Globals& globals, CheckVariables& variables, Timer& checkTimer, TcpClient& tcp,
               shell::StatusView& view, diag::ErrorReporter& reporter, Pop3Session& session,
               ConfigLoader loadConfig);

    // The timer's tick.
    void tick();
    // The check command: starts a check at once while the timer runs.
    void checkCommand();

private:
    std::optional<diag::Failure> startCheck();

    settings::Globals& m_globals;
    CheckVariables& m_variables;
    Timer& m_checkTimer;
    TcpClient& m_tcp;
    shell::StatusView& m_view;
    diag::ErrorReporter& m_reporter;
    Pop3Session& m_session;
    ConfigLoader m_loadConfig;
};

} // namespace vindel::check
