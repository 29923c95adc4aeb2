#pragma once

#include "check/CheckCycle.h"
#include "check/CheckVariables.h"
#include "check/ConnectionErrors.h"
#include "check/MailCountReport.h"
#include "check/Pop3Session.h"
#include "check/SoundPlayer.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/Clock.h"
#include "diag/ErrorReport.h"
#include "diag/EventLog.h"
#include "diag/LogFile.h"
#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "shell/AboutView.h"
#include "shell/AppControl.h"
#include "shell/Commands.h"
#include "shell/ConfigDialogHost.h"
#include "shell/InstanceCheck.h"
#include "shell/MenuCommands.h"
#include "shell/MessageBoxes.h"
#include "shell/NoticeView.h"
#include "shell/ProcessLauncher.h"
#include "shell/StatusView.h"
#include "shell/Tray.h"

#include <QStringList>

#include <memory>

namespace vindel::shell {

// Everything the program's behaviour uses of the desktop, the network and
// the process, handed in by main() (or by a test).
struct Ports {
    check::TcpClient& tcp;
    check::Timer& checkTimer; // paces the checks
    check::Timer& replyTimer; // the reply limit of a running check
    check::SoundPlayer& sound;
    StatusView& view;
    settings::WindowPlacement& window;
    Tray& tray;
    NoticeView& notice;
    AboutView& about;
    ConfigDialogHost& configDialog;
    MessageBoxes& messages;
    ProcessLauncher& launcher;
    AppControl& app;
    InstanceCheck& instance;
    const diag::Clock& clock;
    diag::LogSink& systemLog;
};

// The behaviour of the status window: it owns the check's working values and
// ties the check, its report, the error handling and the menu commands
// together; start() and shutDown() are the program's start and end.
class PopChk : public Commands {
public:
    enum class StartResult {
        Running,         // checking; the first check starts about one second later
        AnotherInstance, // another copy runs: end silently
        AskedToRestart,  // the settings dialog was forced; the user was asked to start again
        Failed,          // a start-up error was shown
    };

    PopChk(settings::Globals& globals, settings::ConfigStore& config, const Ports& ports);

    // The start-up sequence. logFolder is where "Vindel.log" lives.
    StartResult start(const QStringList& arguments, const QString& logFolder);
    // The shut-down sequence: position and settings saved, connection dropped
    // without QUIT, tray icon removed. The caller then ends the program.
    void shutDown();

    void checkNow() override;
    void launchMailer() override;
    void editSettings() override;
    void toggleTopMost() override;
    void showAbout() override;
    void exitProgram() override;
    void windowMoved(int leftTwips, int topTwips) override;
    MenuState windowMenuState() const override;
    MenuState trayMenuState() const override;

    const check::CheckVariables& variables() const { return m_variables; }
    void setReplyLimit(int milliseconds) { m_session.setReplyLimit(milliseconds); }

private:
    StartResult failStart(const diag::Failure& failure);

    settings::Globals& m_globals;
    settings::ConfigStore& m_config;
    Ports m_ports;
    check::CheckVariables m_variables;
    diag::EventLog m_log;
    std::unique_ptr<diag::LogFile> m_logFile;
    diag::ErrorReport m_errorReport;
    check::MailCountReport m_mailCountReport;
    check::Pop3Session m_session;
    check::ConnectionErrors m_connectionErrors;
    check::CheckCycle m_cycle;
    MenuCommands m_menu;
    bool m_shutDown = false;
};

} // namespace vindel::shell
