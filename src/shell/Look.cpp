#include "shell/Look.h"

#include "shell/TrayTip.h"

namespace vindel::shell {

QString mailCountText(const QString& count)
{
    if (count == QLatin1String("0"))
        return QStringLiteral("You have No mail");
    return QStringLiteral("You have ") + count + QStringLiteral(" Mail(s)");
}

Look lookAt(Moment moment, const QString& count, bool changed)
{
    const QString pleaseWait = QStringLiteral("Please Wait...");
    const QString error = QStringLiteral("Error!");
    switch (moment) {
    case Moment::Initialize:
        return {.status = QStringLiteral("Initialize...")};
    case Moment::Connecting:
        return {.status = QStringLiteral("Connecting...")};
    case Moment::Connected:
        return {.colour = TextColour::Blue};
    case Moment::UserNameSent:
        return {.status = QStringLiteral("Send User Name...")};
    case Moment::PasswordSent:
        return {.status = QStringLiteral("Send Password...")};
    case Moment::Checking:
        return {.status = QStringLiteral("Now Checking...")};
    case Moment::CountFound: {
        Look look{.status = mailCountText(count)};
        if (changed) {
            const StatePicture picture =
                count == QLatin1String("0") ? StatePicture::Normal : StatePicture::NewMail;
            look.tray = look.windowIcon = look.button = picture;
        }
        return look;
    }
    case Moment::MailerOpened:
        return {.status = mailCountText(QStringLiteral("0")),
                .tray = StatePicture::Normal,
                .windowIcon = StatePicture::Normal,
                .button = StatePicture::Normal};
    case Moment::RetrySoon:
        return {.status = pleaseWait};
    case Moment::SettingsClosed:
        return {.status = pleaseWait, .colour = TextColour::Blue};
    case Moment::ErrorLook: // the window's icon keeps its picture
        return {.status = error,
                .colour = TextColour::Red,
                .tray = StatePicture::Error,
                .button = StatePicture::Error};
    case Moment::StillFailing:
        return {.status = error, .colour = TextColour::Red, .settingsEntryEnabled = true};
    case Moment::OffLine:
        return {.status = QStringLiteral("OFFLINE"), .colour = TextColour::Black};
    }
    return {};
}

void LookPainter::show(const Look& look)
{
    showStatus(look);
    showTray(look);
    showPictures(look);
}

void LookPainter::showStatus(const Look& look)
{
    if (look.status)
        m_desktop.setStatusText(*look.status);
    if (look.colour)
        m_desktop.setStatusColour(*look.colour);
    m_desktop.refreshStatus();
}

void LookPainter::showTray(const Look& look)
{
    if (look.tray)
        m_desktop.setTrayIcon(*look.tray, trayTip(look.status.value_or(QString())));
}

void LookPainter::showPictures(const Look& look)
{
    if (look.windowIcon)
        m_desktop.setWindowIcon(*look.windowIcon);
    if (look.button)
        m_desktop.showStatePicture(*look.button);
    if (look.settingsEntryEnabled)
        m_desktop.setSettingsEntryEnabled(true);
}

} // namespace vindel::shell
