#pragma once

#include "check/MailboxCheck.h"
#include "settings/ConfigRecord.h"
#include "shell/AboutView.h"
#include "shell/AppControl.h"
#include "shell/ConfigDialogHost.h"
#include "shell/Look.h"
#include "shell/MessageBoxes.h"
#include "shell/ProcessLauncher.h"

namespace vindel::shell {

// The menu's own commands: launching the mail program (optionally resetting
// the shown count), editing the settings, and the About window.
class MenuCommands {
public:
    MenuCommands(const settings::Globals& globals, check::MailboxCheck& check, LookPainter& painter,
                 MessageBoxes& messages, ProcessLauncher& launcher, ConfigDialogHost& configDialog,
                 AboutView& about, AppControl& app)
        : m_globals(globals), m_check(check), m_painter(painter), m_messages(messages), m_launcher(launcher),
          m_configDialog(configDialog), m_about(about), m_app(app)
    {
    }

    void launchMailer();
    void editSettings();
    void showAbout() { m_about.showAbout(); }

private:
    const settings::Globals& m_globals;
    check::MailboxCheck& m_check;
    LookPainter& m_painter;
    MessageBoxes& m_messages;
    ProcessLauncher& m_launcher;
    ConfigDialogHost& m_configDialog;
    AboutView& m_about;
    AppControl& m_app;
};

} // namespace vindel::shell
