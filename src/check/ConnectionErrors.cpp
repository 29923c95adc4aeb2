#include "check/ConnectionErrors.h"

namespace vindel::check {
namespace {
constexpr int minuteMs = 60000;
constexpr int offLineNumber = 11004;
constexpr int fatalExitCode = 1;
} // namespace

diag::FailureKind classify(const diag::Failure& failure)
{
    using diag::FailureKind;
    if (failure.kind != FailureKind::ByNumber)
        return failure.kind;
    switch (failure.number) {
    case 10014: // bad address
    case 10054: // connection reset
    case 10060: // timed out
    case 10061: // refused
    case 10065: // host unreachable
    case 11001: // host not found
    case 11002: // temporary resolver failure
        return FailureKind::Transient;
    case offLineNumber: // no data for the name: taken as being off line
        return FailureKind::OffLine;
    default:
        return FailureKind::Fatal;
    }
}

ConnectionErrors::ConnectionErrors(CheckVariables& variables, TcpClient& tcp, Timer& checkTimer,
                                   shell::StatusView& view, diag::EventLog& log,
                                   diag::ErrorReporter& reporter, shell::MessageBoxes& messages,
                                   shell::AppControl& app)
    : m_variables(variables), m_tcp(tcp), m_checkTimer(checkTimer), m_view(view), m_log(log),
      m_reporter(reporter), m_messages(messages), m_app(app)
{
}

void ConnectionErrors::handle(const diag::Failure& failure)
{
    const QString errorText =
        QStringLiteral("[Error] %1, [Description] %2").arg(failure.number).arg(failure.description);
    m_tcp.close();

    switch (classify(failure)) {
    case diag::FailureKind::Transient:
        m_log.writeAlways(errorText, diag::EventType::Warning);
        m_variables.raiseErrorCount();
        m_reporter.report(failure.number, failure.description);
        break;
    case diag::FailureKind::OffLine:
        m_view.setStatusText(QStringLiteral("OFFLINE"));
        m_view.setStatusColour(shell::TextColour::Black);
        m_view.refreshStatus();
        m_checkTimer.setInterval(minuteMs);
        m_checkTimer.setEnabled(true);
        break;
    case diag::FailureKind::ByNumber: // classify() never gives it
    case diag::FailureKind::Fatal:
        m_log.writeAlways(errorText, diag::EventType::Error);
        m_messages.show(QStringLiteral("Error %1\r\n\r\n%2").arg(failure.number).arg(failure.description),
                        shell::MessageStyle::Stop);
        m_app.endNow(fatalExitCode);
        break;
    }
}

} // namespace vindel::check
