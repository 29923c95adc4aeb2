#include "shell/MailCountReport.h"

#include <QFileInfo>

namespace vindel::shell {

void MailCountReport::report(const QString& mailCount, const QString& previous)
{
    const bool changed = mailCount != previous;
    const Look look = lookAt(Moment::CountFound, mailCount, changed);
    m_painter.showStatus(look);
    if (!changed)
        return;
    m_painter.showTray(look);
    if (mailCount != QLatin1String("0")) {
        m_desktop.showNotice(*look.status);
        const QString& sound = m_globals.config.SoundPath;
        if (!sound.isEmpty() && QFileInfo(sound).isFile())
            m_desktop.playSound(sound);
        m_desktop.processPendingEvents();
    }
    m_painter.showPictures(look);
}

} // namespace vindel::shell
