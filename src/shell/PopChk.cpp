#include "shell/PopChk.h"

#include "shell/MenuEnabling.h"
#include "shell/StartSwitch.h"
#include "shell/TrayTip.h"

#include <QDir>

namespace vindel::shell {

PopChk::PopChk(settings::Globals& globals, settings::ConfigStore& config, const Ports& ports)
    : m_globals(globals), m_config(config), m_ports(ports), m_log(ports.clock, ports.systemLog),
      m_errorReport(globals, m_variables, ports.checkTimer, ports.view, ports.tray, ports.messages,
                    ports.configDialog),
      m_mailCountReport(globals, m_variables, ports.view, ports.tray, ports.notice, ports.sound, ports.app),
      m_session(globals, m_variables, ports.tcp, ports.checkTimer, ports.replyTimer, ports.view, m_log,
                m_errorReport, m_mailCountReport),
      m_connectionErrors(m_variables, ports.tcp, ports.checkTimer, ports.view, m_log, m_errorReport,
                         ports.messages, ports.app),
      m_cycle(globals, m_variables, ports.checkTimer, ports.tcp, ports.view, m_errorReport, m_session,
              [this] { return m_config.loadConfig(); }),
      m_menu(globals, m_variables, ports.checkTimer, ports.view, ports.tray, ports.messages, ports.launcher,
             ports.configDialog, ports.about, ports.app)
{
    ports.tcp.setDataHandler([this](const QByteArray& bytes) { m_session.dataArrived(bytes); });
    ports.tcp.setErrorHandler([this](const diag::Failure& failure) {
        m_session.stopWaiting();
        m_connectionErrors.handle(failure);
    });
    m_session.setTimeoutHandler([this](const diag::Failure& failure) { m_connectionErrors.handle(failure); });
    m_session.setConfigStore(config);
}

PopChk::StartResult PopChk::failStart(const diag::Failure& failure)
{
    m_ports.messages.show(QStringLiteral("%1\r\n\r\n%2").arg(failure.number).arg(failure.description),
                          MessageStyle::Stop);
    return StartResult::Failed;
}

PopChk::StartResult PopChk::start(const QStringList& arguments, const QString& logFolder)
{
    if (m_ports.instance.anotherInstanceRunning())
        return StartResult::AnotherInstance;

    m_globals.CheckAtNextTick = true;
    m_variables.ErrorCount = 0;
    m_variables.PrevMailCount = QStringLiteral("-1");
    m_ports.view.setStatusText(QString());

    // The window is still hidden here; loading places it and shows it.
    if (const auto failure = m_config.loadConfig())
        return failStart(*failure);

    const StartSwitch startSwitch = parseStartSwitch(arguments);
    const settings::ConfigRecord& config = m_globals.config;
    if (startSwitch == StartSwitch::Configure || config.UserName.isEmpty() || config.Pop3Server.isEmpty()) {
        m_ports.configDialog.runModal();
        m_ports.messages.show(QStringLiteral("ﾌﾟﾛｸﾞﾗﾑを再度起動してください。"), MessageStyle::Information);
        return StartResult::AskedToRestart;
    }

    const QString logPath = QDir(logFolder).filePath(diag::LogFile::fileName());
    if (const auto failure = diag::LogFile::trim(logPath))
        return failStart(*failure);
    m_globals.LogEnabled = startSwitch == StartSwitch::Trace;
    if (m_globals.LogEnabled) {
        m_logFile = std::make_unique<diag::LogFile>(logPath, m_ports.clock);
        if (const auto failure = m_logFile->open())
            return failStart(*failure);
        m_log.start(*m_logFile);
        if (!m_log.write(QStringLiteral("Vindel Started"), diag::EventType::Information))
            return failStart({75, QStringLiteral("Path/File access error: %1").arg(logPath)});
    }

    m_ports.view.setWindowIcon(StatePicture::Normal);
    m_ports.view.showStatePicture(StatePicture::Normal);
    m_ports.tray.add(StatePicture::Normal, trayTip());
    m_ports.view.setStatusText(QStringLiteral("Initialize..."));
    m_ports.checkTimer.setInterval(1000);
    m_ports.checkTimer.setEnabled(true);
    return StartResult::Running;
}

void PopChk::shutDown()
{
    if (m_shutDown)
        return; // exit and the end of the session may both ask
    m_shutDown = true;
    m_globals.config.PosLeft = m_ports.window.leftTwips();
    m_globals.config.PosTop = m_ports.window.topTwips();
    m_config.saveConfig();
    m_session.stopWaiting();
    m_ports.checkTimer.setEnabled(false);
    m_ports.tcp.close();
    m_ports.tray.remove();
}

void PopChk::checkNow()
{
    m_cycle.checkCommand();
}

void PopChk::launchMailer()
{
    m_menu.launchMailer();
}

void PopChk::editSettings()
{
    m_menu.editSettings();
}

void PopChk::showAbout()
{
    m_menu.showAbout();
}

void PopChk::toggleTopMost()
{
    const bool topMost = !m_ports.window.isFormTopChecked();
    m_ports.window.setTopMost(topMost);
    m_globals.config.TopMost = topMost;
    m_ports.window.setFormTopChecked(topMost);
}

void PopChk::exitProgram()
{
    shutDown();
    m_ports.app.quit();
}

void PopChk::windowMoved(int leftTwips, int topTwips)
{
    m_globals.config.PosLeft = leftTwips;
    m_globals.config.PosTop = topTwips;
    m_config.saveConfig();
}

MenuState PopChk::windowMenuState() const
{
    return shell::windowMenuState(m_ports.checkTimer.isEnabled(), m_variables.ErrorCount);
}

MenuState PopChk::trayMenuState() const
{
    return shell::trayMenuState(m_ports.checkTimer.isEnabled());
}

} // namespace vindel::shell
