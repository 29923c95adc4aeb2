#pragma once

#include "check/CheckEvents.h"
#include "check/MailboxCheck.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/Clock.h"
#include "diag/EventLog.h"
#include "diag/LogFile.h"
#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "shell/AppControl.h"
#include "shell/Commands.h"
#include "shell/ConfigDialogHost.h"
#include "shell/ErrorReport.h"
#include "shell/Look.h"
#include "shell/MailCountReport.h"
#include "shell/MenuCommands.h"
#include "shell/MessageBoxes.h"
#include "shell/NoticeView.h"
#include "shell/ProcessLauncher.h"
#include "shell/SoundPlayer.h"
#include "shell/StatusView.h"
#include "shell/Tray.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace vindel::shell {

// Everything the program's behaviour uses of the desktop, the network and
// the process, handed in by main() (or by a test).
struct Ports {
    check::TcpClient& tcp;
    check::Timer& checkTimer; // paces the checks
    check::Timer& replyTimer; // the reply limit of a running check
    SoundPlayer& sound;
    StatusView& view;
    settings::WindowPlacement& window;
    Tray& tray;
    NoticeView& notice;
    std::function<void()> showAbout; // the About window: shown, or brought forward
    ConfigDialogHost& configDialog;
    MessageBoxes& messages;
    ProcessLauncher& launcher;
    AppControl& app;
    // True when another copy already runs for this user and desktop session.
    std::function<bool()> anotherInstanceRunning;
    const diag::Clock& clock;
    diag::LogSink& systemLog;
    // Asks a keyring that has not answered again; needed when the settings
    // keep the password in a keyring.
    check::Timer* passwordRetryTimer = nullptr;
};

// The behaviour of the status window: it ties the mail check to what the
// user sees (the look, the mail-count report, the error report) and to the
// menu commands; start() and shutDown() are the program's start and end.
class PopChk : public Commands, private check::CheckEvents {
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

    // The network came back, or the machine woke from sleep: a check about
    // one second later, as the check command would start, while the timer
    // paces checks (never during a check, never after checking has stopped).
    // The network's return only counts after an off-line status or a
    // connection error: a count that came through is not stale.
    void networkReturned();
    void resumed();

    // Writes an event of its own into the log while the log file is on.
    void noteEvent(const QString& words);
    void setReplyLimit(int milliseconds) { m_check.setReplyLimit(milliseconds); }

private:
    StartResult failStart(const diag::Failure& failure);
    // Loads the settings (placing the window) and sets the menu's check mark.
    std::optional<diag::Failure> loadSettings();
    // The first check, once the password is known: a keyring that is late
    // at log-in is asked again, and no check runs without its password.
    void startChecking();
    void checkSoonWhilePacing();

    // What the mail check tells and asks.
    check::CheckSettings settings() const override;
    void checkStarting() override;
    std::optional<diag::Failure> prepareCheck() override;
    void stepReached(check::SessionState state) override;
    void countFound(const QString& count, const QString& previous) override;
    check::Resume failed(const diag::Failure& failure, qint16 errorCount) override;
    void offLine() override;
    void fatal(const diag::Failure& failure) override;

    settings::Globals& m_globals;
    settings::ConfigStore& m_config;
    Ports m_ports;
    diag::EventLog m_log;
    std::unique_ptr<diag::LogFile> m_logFile;
    LookPainter m_painter;
    ErrorReport m_errorReport;
    MailCountReport m_mailCountReport;
    check::MailboxCheck m_check;
    MenuCommands m_menu;
    bool m_shutDown = false;
    bool m_connectionLost = false; // the last check ended off line or on a connection error
    int m_passwordRetryMs = 1000;
};

} // namespace vindel::shell
