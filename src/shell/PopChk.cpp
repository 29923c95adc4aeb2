#include "shell/PopChk.h"

#include "check/ConnectionErrors.h"
#include "diag/Escape.h"
#include "shell/MenuEnabling.h"
#include "shell/StartSwitch.h"
#include "shell/TrayTip.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

namespace vindel::shell {

PopChk::PopChk(settings::Globals& globals, const Ports& ports)
    : m_globals(globals), m_config(ports.settings), m_desktop(ports.desktop),
      m_passwordRetryTimer(ports.timers.passwordRetry), m_clock(ports.clock), m_log(ports.clock, ports.log),
      m_painter(ports.desktop), m_errorReport(ports.desktop), m_mailCountReport(globals, ports.desktop),
      m_check(ports.network, ports.timers.check, ports.timers.reply, m_log, *this)
{
    if (ports.listening && ports.timers.listening)
        m_check.listenWith(*ports.listening, *ports.timers.listening);
    if (m_passwordRetryTimer)
        m_passwordRetryTimer->setHandler([this] {
            m_passwordRetryTimer->setEnabled(false);
            startChecking();
        });
}

PopChk::StartResult PopChk::failStart(const diag::Failure& failure)
{
    m_desktop.showMessage(
        QStringLiteral("%1\r\n\r\n%2").arg(failure.number).arg(diag::escapeControls(failure.description)),
        MessageStyle::Stop);
    return StartResult::Failed;
}

PopChk::StartResult PopChk::start(const QStringList& arguments, const QString& logFolder)
{
    if (m_desktop.anotherCopyRunning())
        return StartResult::AnotherInstance;

    m_check.begin();
    m_painter.show({.status = QString()}); // the label is laid out empty

    // The window is still hidden here; loading places it and shows it.
    if (const auto failure = loadSettings())
        return failStart(*failure);

    const StartSwitch startSwitch = parseStartSwitch(arguments);
    const settings::ConfigRecord& config = m_globals.config;
    if (startSwitch == StartSwitch::Configure || config.UserName.isEmpty() || config.Pop3Server.isEmpty()) {
        m_desktop.runConfigDialog();
        m_desktop.showMessage(QCoreApplication::translate("Messages", "ﾌﾟﾛｸﾞﾗﾑを再度起動してください。"),
                              MessageStyle::Information);
        return StartResult::AskedToRestart;
    }

    const QString logPath = QDir(logFolder).filePath(diag::LogFile::fileName());
    if (const auto failure = diag::LogFile::trim(logPath))
        return failStart(*failure);
    if (startSwitch == StartSwitch::Trace) {
        m_logFile = std::make_unique<diag::LogFile>(logPath, m_clock);
        if (const auto failure = m_logFile->open())
            return failStart(*failure);
        m_log.start(*m_logFile);
        if (!m_log.write(QStringLiteral("Vindel Started"), diag::EventType::Information))
            return failStart(diag::failures::PathAccess.about(logPath));
    }

    m_desktop.setWindowIcon(StatePicture::Normal);
    m_desktop.showStatePicture(StatePicture::Normal);
    m_desktop.addTrayIcon(StatePicture::Normal, trayTip());
    m_painter.show(lookAt(Moment::Initialize));
    startChecking();
    return StartResult::Running;
}

void PopChk::startChecking()
{
    m_config.fetchPassword([this](bool known) {
        if (m_shutDown)
            return;
        if (known) {
            m_check.checkSoon();
            return;
        }
        if (m_passwordRetryMs == 1000) // said once, also without "/T"
            m_log.writeAlways(
                QStringLiteral("The keyring has not given the password yet; asking again before "
                               "the first check"),
                diag::EventType::Warning);
        if (!m_passwordRetryTimer)
            return;
        m_passwordRetryTimer->setInterval(m_passwordRetryMs);
        m_passwordRetryTimer->setEnabled(true);
        m_passwordRetryMs = std::min(m_passwordRetryMs * 2, check::MailboxCheck::minuteMs);
    });
}

void PopChk::shutDown()
{
    if (m_shutDown)
        return; // exit and the end of the session may both ask
    m_shutDown = true;
    if (m_passwordRetryTimer)
        m_passwordRetryTimer->setEnabled(false);
    m_globals.config.PosLeft = m_desktop.leftTwips();
    m_globals.config.PosTop = m_desktop.topTwips();
    m_config.saveConfig();
    m_check.shutDown();
    m_desktop.removeTrayIcon();
}

void PopChk::noteEvent(const QString& words)
{
    m_log.write(words, diag::EventType::Information);
}

void PopChk::launchMailer()
{
    if (const auto failure = m_desktop.startProgram(m_globals.config.MailerPath)) {
        m_desktop.showMessage(*failure + QStringLiteral("\r\n\r\n") +
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

void PopChk::editSettings()
{
    m_check.pause();
    m_desktop.processPendingEvents();
    m_desktop.runConfigDialog();
    m_painter.show(lookAt(Moment::SettingsClosed));
    m_check.checkSoon();
}

// The record holds "always in front"; the window and the menu's check mark
// follow it.
void PopChk::toggleTopMost()
{
    m_globals.config.TopMost = !m_globals.config.TopMost;
    m_desktop.setTopMost(m_globals.config.TopMost);
}

void PopChk::exitProgram()
{
    shutDown();
    m_desktop.quit();
}

void PopChk::windowMoved(int leftTwips, int topTwips)
{
    m_globals.config.PosLeft = leftTwips;
    m_globals.config.PosTop = topTwips;
    m_config.saveConfig();
}

void PopChk::networkReturned()
{
    m_check.listenAfresh();
    if (m_connectionLost)
        checkSoonWhilePacing();
}

void PopChk::resumed()
{
    m_check.listenAfresh();
    checkSoonWhilePacing();
}

void PopChk::checkSoonWhilePacing()
{
    if (m_check.isPacing())
        m_check.checkSoon();
}

MenuState PopChk::windowMenuState() const
{
    return shell::windowMenuState(m_check.isPacing(), m_check.errorCount());
}

MenuState PopChk::trayMenuState() const
{
    return shell::trayMenuState(m_check.isPacing());
}

std::optional<diag::Failure> PopChk::loadSettings()
{
    settings::WindowPlacement place = m_desktop.placement();
    auto failure = m_config.loadConfig(place);
    if (place.left)
        m_desktop.setLeftTwips(*place.left);
    if (place.top)
        m_desktop.setTopTwips(*place.top);
    if (!failure) // "always in front" is read after the last key that can fail
        m_desktop.setTopMost(m_globals.config.TopMost);
    return failure;
}

check::CheckSettings PopChk::settings() const
{
    const settings::ConfigRecord& config = m_globals.config;
    return {config.Pop3Server,
            {m_config.userNameBytes(), m_config.passWordBytes(), config.UserName},
            config.Interval};
}

void PopChk::checkStarting()
{
    m_connectionLost = false;
    m_painter.show(lookAt(Moment::Connecting));
}

std::optional<diag::Failure> PopChk::prepareCheck()
{
    if (m_globals.ConfigChanged) {
        if (auto failure = loadSettings())
            return failure; // the flag stays set, so the next check tries again
        m_globals.ConfigChanged = false;
    }
    m_painter.show(lookAt(Moment::Connected));
    return std::nullopt;
}

void PopChk::stepReached(check::SessionState state)
{
    switch (state) {
    case check::SessionState::UserName:
        m_painter.show(lookAt(Moment::UserNameSent));
        break;
    case check::SessionState::Password:
        m_painter.show(lookAt(Moment::PasswordSent));
        break;
    case check::SessionState::Stat:
        m_painter.show(lookAt(Moment::Checking));
        break;
    default:
        break;
    }
}

void PopChk::countFound(const QString& count, const QString& previous)
{
    m_mailCountReport.report(count, previous);
}

check::Resume PopChk::failed(const diag::Failure& failure, qint16 errorCount)
{
    m_connectionLost = check::classify(failure) == diag::FailureKind::Transient;
    return m_errorReport.report(failure, errorCount);
}

void PopChk::offLine()
{
    m_connectionLost = true;
    m_painter.show(lookAt(Moment::OffLine));
}

void PopChk::fatal(const diag::Failure& failure)
{
    m_desktop.showMessage(QStringLiteral("Error %1\r\n\r\n%2")
                              .arg(failure.number)
                              .arg(diag::escapeControls(failure.description)),
                          MessageStyle::Stop);
    m_desktop.endNow(1);
}

} // namespace vindel::shell
