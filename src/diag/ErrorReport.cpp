#include "diag/ErrorReport.h"

#include "shell/TrayTip.h"

namespace vindel::diag {
namespace {
constexpr int retryDelayMs = 1000;
constexpr int minuteMs = 60000;
const QString errorText = QStringLiteral("Error!");
} // namespace

ErrorReport::ErrorReport(settings::Globals& globals, const check::CheckVariables& variables,
                         check::Timer& checkTimer, shell::StatusView& view, shell::Tray& tray,
                         shell::MessageBoxes& messages, shell::ConfigDialogHost& configDialog)
    : m_globals(globals), m_variables(variables), m_checkTimer(checkTimer), m_view(view), m_tray(tray),
      m_messages(messages), m_configDialog(configDialog)
{
}

void ErrorReport::showErrorText()
{
    m_view.setStatusText(errorText);
    m_view.setStatusColour(shell::TextColour::Red);
    m_view.refreshStatus();
}

void ErrorReport::report(int number, const QString& description)
{
    const qint16 count = m_variables.ErrorCount;
    if (count < 3) {
        m_messages.show(QStringLiteral("Error %1\r\n\r\n%2").arg(number).arg(description),
                        shell::MessageStyle::Exclamation);
        m_configDialog.runModal();
        m_view.setStatusText(QStringLiteral("Please Wait..."));
        m_view.refreshStatus();
        m_globals.CheckAtNextTick = true;
        m_checkTimer.setInterval(retryDelayMs);
        m_checkTimer.setEnabled(true);
    } else if (count == 3) {
        showErrorText();
        m_tray.modify(shell::StatePicture::Error, shell::trayTip(errorText));
        m_view.showStatePicture(shell::StatePicture::Error);
        // The timer stays as the failed check left it: stopped.
    } else {
        showErrorText();
        m_checkTimer.setInterval(minuteMs);
        m_view.setSettingsEntryEnabled(true);
    }
}

} // namespace vindel::diag
