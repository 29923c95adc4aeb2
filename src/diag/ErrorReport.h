#pragma once

#include "check/CheckVariables.h"
#include "check/Timer.h"
#include "diag/ErrorReporter.h"
#include "settings/ConfigRecord.h"
#include "shell/ConfigDialogHost.h"
#include "shell/MessageBoxes.h"
#include "shell/StatusView.h"
#include "shell/Tray.h"

namespace vindel::diag {

// The escalating report of a failed check, on the error count that already
// includes this failure: the first and second failure in a row show the
// message, then the settings dialog, and retry a second later; the third
// shows the error look and leaves checking stopped; from the fourth on the
// timer is parked at one minute, stopped, with the settings entry usable.
class ErrorReport : public ErrorReporter {
public:
    ErrorReport(settings::Globals& globals, const check::CheckVariables& variables, check::Timer& checkTimer,
                shell::StatusView& view, shell::Tray& tray, shell::MessageBoxes& messages,
                shell::ConfigDialogHost& configDialog);

    void report(int number, const QString& description) override;

private:
    void showErrorText();

    settings::Globals& m_globals;
    const check::CheckVariables& m_variables;
    check::Timer& m_checkTimer;
    shell::StatusView& m_view;
    shell::Tray& m_tray;
    shell::MessageBoxes& m_messages;
    shell::ConfigDialogHost& m_configDialog;
};

} // namespace vindel::diag
