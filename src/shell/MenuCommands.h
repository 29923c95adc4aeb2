#pragma once

#include "check/CheckVariables.h"
#include "check/Timer.h"
#include "settings/ConfigRecord.h"
#include "shell/AboutView.h"
#include "shell/AppControl.h"
#include "shell/ConfigDialogHost.h"
#include "shell/MessageBoxes.h"
#include "shell/ProcessLauncher.h"
#include "shell/StatusView.h"
#include "shell/Tray.h"

namespace vindel::shell {

// The menu's own commands: launching the mail program (optionally resetting
// the shown count), editing the settings, and the About window.
class MenuCommands {
public:
    MenuCommands(settings::Globals& globals, check::CheckVariables& variables, check::Timer& checkTimer,
                 StatusView& view, Tray& tray, MessageBoxes& messages, ProcessLauncher& launcher,
                 ConfigDialogHost& configDialog, AboutView& about, AppControl& app);

    void launchMailer();
    void editSettings();
    void showAbout();

private:
    settings::Globals& m_globals;
    check::CheckVariables& m_variables;
    check::Timer& m_checkTimer;
    StatusView& m_view;
    Tray& m_tray;
    MessageBoxes& m_messages;
    ProcessLauncher& m_launcher;
    ConfigDialogHost& m_configDialog;
    AboutView& m_about;
    AppControl& m_app;
};

} // namespace vindel::shell
