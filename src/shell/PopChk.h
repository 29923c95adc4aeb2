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
#include "shell/Desktop.h"
#include "shell/ErrorReport.h"
#include "shell/Look.h"
#include "shell/MailCountReport.h"
#include "shell/MenuEnabling.h"

#include <QStringList>

#include <memory>

namespace vindel::shell {

// The program's timers, each by its name.
struct Timers {
    check::Timer& check; // paces the checks
    check::Timer& reply; // the reply limit of a running check
    // Asks a keyring that has not answered again; needed when the settings
    // keep the password in a keyring.
    check::Timer* passwordRetry = nullptr;
    // The listening connection's waits; needed with Ports::listening.
    check::Timer* listening = nullptr;
};

// Everything the program's behaviour uses of the network, the clock, the log,
// the settings (with the keyring behind them) and the desktop, handed in by
// main() (or by a test), each member by its name.
struct Ports {
    check::TcpClient& network;
    // A second connection that listens to an IMAP server for changes
    // between checks; without it the interval alone paces the checks.
    check::TcpClient* listening = nullptr;
    Timers timers;
    const diag::Clock& clock;
    diag::LogSink& log; // the system log
    settings::ConfigStore& settings;
    Desktop& desktop;
};

// The behaviour of the status window: it ties the mail check to what the
// user sees (the look, the mail-count report, the error report) and runs
// the menu's commands; start() and shutDown() are the program's start and
// end.
class PopChk : private check::CheckEvents {
public:
    enum class StartResult {
        Running,         // checking; the first check starts about one second later
        AnotherInstance, // another copy runs: end silently
        AskedToRestart,  // the settings dialog was forced; the user was asked to start again
        Failed,          // a start-up error was shown
    };

    PopChk(settings::Globals& globals, const Ports& ports);

    // The start-up sequence. logFolder is where "Vindel.log" lives.
    StartResult start(const QStringList& arguments, const QString& logFolder);
    // The shut-down sequence: position and settings saved, connection dropped
    // without QUIT, tray icon removed. The caller then ends the program.
    void shutDown();

    // The menu's and the status window's commands.
    void checkNow() { m_check.checkCommand(); } // the state button, "ﾒｰﾙﾁｪｯｸ！"
    // The mail-program button, "ﾒｰﾗｰの起動": starts the mail program; with the
    // count reset on, shows the no-mail look until the next check.
    void launchMailer();
    void editSettings();  // "設定": the dialog, then a check a second later
    void toggleTopMost(); // "常に手前に表示"
    void exitProgram();   // "終了": the shut-down sequence, then the end
    // The end of a drag of the status window: stores the position and saves.
    void windowMoved(int leftTwips, int topTwips);
    // Enabling rules: the window's menu also looks at the error count.
    MenuState windowMenuState() const;
    MenuState trayMenuState() const;

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
    // Loads the settings, places the window and puts it in front or not.
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
    Desktop& m_desktop;
    check::Timer* m_passwordRetryTimer;
    const diag::Clock& m_clock;
    diag::EventLog m_log;
    std::unique_ptr<diag::LogFile> m_logFile;
    LookPainter m_painter;
    ErrorReport m_errorReport;
    MailCountReport m_mailCountReport;
    check::MailboxCheck m_check;
    bool m_shutDown = false;
    bool m_connectionLost = false; // the last check ended off line or on a connection error
    int m_passwordRetryMs = 1000;
};

} // namespace vindel::shell
