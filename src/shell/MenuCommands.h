#pragma once

#include "check/MailboxCheck.h"
#include "settings/ConfigRecord.h"
#include "shell/AppControl.h"
#include "shell/ConfigDialogHost.h"
#include "shell/Look.h"
#include "shell/MessageBoxes.h"
#include "shell/ProcessLauncher.h"

#include <functional>

namespace vindel::shell {

// The menu's own commands: launching the mail program (optionally resetting
// the shown count), editing the settings, and the About window.
class MenuCommands {
public:
    MenuCommands(const settings::Globals& globals, check::MailboxCheck& check, LookPainter& painter,
                 MessageBoxes& messages, ProcessLauncher& launcher, ConfigDialogHost& configDialog,
                 std::function<void()> showAbout, AppControl& app)
        : m_globals(globals), m_check(check), m_painter(painter), m_messages(messages), m_launcher(launcher),
          m_configDialog(configDialog), m_showAbout(std::move(showAbout)), m_app(app)
    {
    }

    void launchMailer();
    void editSettings();
    void showAbout() { m_showAbout(); }

private:
    const settings::Globals& m_globals;
    check::MailboxCheck& m_check;
    LookPainter& m_painter;
    MessageBoxes& m_messages;
    ProcessLauncher& m_launcher;
    ConfigDialogHost& m_configDialog;
    std::function<void()> m_showAbout; // shows the About window, or brings it forward
    AppControl& m_app;
};

} // namespace vindel::shell
