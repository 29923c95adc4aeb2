#include "shell/MenuCommands.h"

#include "shell/TrayTip.h"

namespace vindel::shell {

MenuCommands::MenuCommands(settings::Globals& globals, check::CheckVariables& variables,
                           check::Timer& checkTimer, StatusView& view, Tray& tray, MessageBoxes& messages,
                           ProcessLauncher& launcher, ConfigDialogHost& configDialog, AboutView& about,
                           AppControl& app)
    : m_globals(globals), m_variables(variables), m_checkTimer(checkTimer), m_view(view), m_tray(tray),
      m_messages(messages), m_launcher(launcher), m_configDialog(configDialog), m_about(about), m_app(app)
{
}

void MenuCommands::launchMailer()
{
    if (const auto failure = m_launcher.start(m_globals.config.MailerPath)) {
        m_messages.show(*failure + QStringLiteral("\r\n\r\nﾒｰﾗのﾊﾟｽを確認してください。"),
                        MessageStyle::Exclamation);
        return;
    }
    if (m_variables.ErrorCount > 0 || !m_globals.config.MailCountReset)
        return;

    // The user is reading the mail now: show the no-mail look, and make the
    // next check that still finds mail count as a change.
    const QString noMail = QStringLiteral("You have No mail");
    m_view.setStatusText(noMail);
    m_view.refreshStatus();
    m_tray.modify(StatePicture::Normal, trayTip(noMail));
    m_view.setWindowIcon(StatePicture::Normal);
    m_view.showStatePicture(StatePicture::Normal);
    m_variables.PrevMailCount = QStringLiteral("0");
}

void MenuCommands::editSettings()
{
    m_checkTimer.setEnabled(false);
    m_app.processPendingEvents();
    m_configDialog.runModal();
    m_view.setStatusColour(TextColour::Blue);
    m_view.setStatusText(QStringLiteral("Please Wait..."));
    m_view.refreshStatus();
    m_globals.CheckAtNextTick = true;
    m_checkTimer.setInterval(1000);
    m_checkTimer.setEnabled(true);
}

void MenuCommands::showAbout()
{
    m_about.showAbout();
}

} // namespace vindel::shell
