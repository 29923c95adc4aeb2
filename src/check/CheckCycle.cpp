#include "check/CheckCycle.h"

#include "check/Pop3Session.h"
#include "check/ServerAddress.h"
#include "settings/ConversionErrors.h"

namespace vindel::check {

CheckCycle::CheckCycle(settings::Globals& globals, CheckVariables& variables, Timer& checkTimer,
                       TcpClient& tcp, shell::StatusView& view, diag::ErrorReporter& reporter,
                       Pop3Session& session, ConfigLoader loadConfig)
    : m_globals(globals), m_variables(variables), m_checkTimer(checkTimer), m_tcp(tcp), m_view(view),
      m_reporter(reporter), m_session(session), m_loadConfig(std::move(loadConfig))
{
    m_checkTimer.setHandler([this] { tick(); });
}

void CheckCycle::tick()
{
    std::optional<diag::Failure> failure;
    if (m_variables.TicksSinceCheck == m_globals.config.Interval) {
        m_variables.TicksSinceCheck = 0;
        failure = startCheck();
    } else if (m_globals.CheckAtNextTick) {
        m_globals.CheckAtNextTick = false;
        m_variables.TicksSinceCheck = 1;
        failure = startCheck();
    } else if (m_variables.TicksSinceCheck == 32767) {
        failure = settings::overflow(); // the tick count cannot go past its 16 bits
    } else {
        ++m_variables.TicksSinceCheck;
    }

    if (failure) {
        m_tcp.close();
        m_variables.raiseErrorCount();
        m_reporter.report(failure->number, failure->description);
    }
}

std::optional<diag::Failure> CheckCycle::startCheck()
{
    m_checkTimer.setInterval(0);
    m_checkTimer.setEnabled(false);
    m_view.setStatusText(QStringLiteral("Connecting..."));

    if (m_globals.ConfigChanged) {
        if (auto failure = m_loadConfig())
            return failure; // the flag stays set, so the next check tries again
        m_globals.ConfigChanged = false;
    }
    m_view.setStatusColour(shell::TextColour::Blue);
    m_view.refreshStatus();

    // A connection left open by a rejected reply belongs to a check that has
    // ended; drop it so the new check starts on a fresh connection instead of
    // failing on the old one.
    m_tcp.close();
    const ServerAddress address = parseServerAddress(m_globals.config.Pop3Server);
    if (auto failure = m_tcp.connectTo(address.host, address.port))
        return failure;
    m_variables.SessionState = QStringLiteral("CONNECT");
    m_session.connectionOpened();
    return std::nullopt;
}

void CheckCycle::checkCommand()
{
    if (!m_checkTimer.isEnabled())
        return;
    m_globals.CheckAtNextTick = true;
    tick();
}

} // namespace vindel::check
