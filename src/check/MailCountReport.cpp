#include "check/MailCountReport.h"

#include "shell/TrayTip.h"

#include <QFileInfo>

namespace vindel::check {

MailCountReport::MailCountReport(const settings::Globals& globals, CheckVariables& variables,
                                 shell::StatusView& view, shell::Tray& tray, shell::NoticeView& notice,
                                 SoundPlayer& sound, shell::AppControl& app)
    : m_globals(globals), m_variables(variables), m_view(view), m_tray(tray), m_notice(notice),
      m_sound(sound), m_app(app)
{
}

QString MailCountReport::statusText(const QString& mailCount)
{
    if (mailCount == QLatin1String("0"))
        return QStringLiteral("You have No mail");
    return QStringLiteral("You have ") + mailCount + QStringLiteral(" Mail(s)");
}

void MailCountReport::report(const QString& mailCount)
{
    using shell::StatePicture;
    const QString text = statusText(mailCount);
    m_view.setStatusText(text);
    m_view.refreshStatus();

    if (mailCount != m_variables.PrevMailCount) {
        const bool newMail = mailCount != QLatin1String("0");
        const StatePicture picture = newMail ? StatePicture::NewMail : StatePicture::Normal;
        m_tray.modify(picture, shell::trayTip(text));
        if (newMail) {
            m_notice.showNotice(text);
            const QString& sound = m_globals.config.SoundPath;
            if (!sound.isEmpty() && QFileInfo(sound).isFile())
                m_sound.play(sound);
            m_app.processPendingEvents();
        }
        m_view.setWindowIcon(picture);
        m_view.showStatePicture(picture);
    }
    m_variables.PrevMailCount = mailCount;
    m_view.refreshStatus();
}

} // namespace vindel::check
