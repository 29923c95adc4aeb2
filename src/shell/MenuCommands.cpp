#include "shell/MenuCommands.h"

#include <QCoreApplication>

namespace vindel::shell {

void MenuCommands::launchMailer()
{
    if (const auto failure = m_launcher.start(m_globals.config.MailerPath)) {
        m_messages.show(*failure + QStringLiteral("\r\n\r\n") +
                            QCoreApplication::translate("Messages", "ﾒｰﾗのﾊﾟｽを確認してください。"),
                        MessageStyle::Exclamation);
        return;
    }
    if (m_check.errorCount() > 0 || !m_globals.config.MailCountReset)
        return;

    // The user is reading the mail now: show the no-mail look, and make the
    // next check that still finds mail count as a change.
    m_painter.show(lookAt(Moment::MailerOpened));
    m_check.forgetReportedCount();
}

void MenuCommands::editSettings()
{
    m_check.pause();
    m_app.processPendingEvents();
    m_configDialog.runModal();
    m_painter.show(lookAt(Moment::SettingsClosed));
    m_check.checkSoon();
}

} // namespace vindel::shell
