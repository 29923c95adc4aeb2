#pragma once

#include "QtPrinters.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/Clock.h"
#include "diag/Failures.h"
#include "diag/LogSink.h"
#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "settings/SettingsStore.h"
#include "shell/Desktop.h"
#include "shell/PopChk.h"

#include <QDir>
#include <QMap>
#include <QStringList>

#include <functional>
#include <map>

namespace vindel::test {

// Every fake writes what it was asked to do into one journal, so a test can
// read the program's outward behaviour in order, like a transcript.
using Journal = QStringList;

class FakeTimer : public check::Timer {
public:
    void setHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void setInterval(int ms) override { m_interval = ms; }
    int interval() const { return m_interval; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }
    bool isRunning() const { return m_enabled && m_interval > 0; }
    // Fires once, as the real timer would (only while running).
    bool fire()
    {
        if (!isRunning() || !m_handler)
            return false;
        m_handler();
        return true;
    }

private:
    std::function<void()> m_handler;
    int m_interval = 0;
    bool m_enabled = false;
};

// The connection as the server's side of a transcript: what the check does
// to it goes into the journal ("connect", "send", "starttls", "close"), and
// the test plays the server (serverSends, secure, fail).
class FakeTcpClient : public check::TcpClient {
public:
    explicit FakeTcpClient(Journal& journal) : m_journal(journal) {}
    void setDataHandler(std::function<void(const QByteArray&)> h) override { m_data = std::move(h); }
    void setErrorHandler(std::function<void(const diag::Failure&)> h) override { m_error = std::move(h); }
    void setSecuredHandler(std::function<void(const Secured&)> h) override { m_secured = std::move(h); }
    std::optional<diag::Failure> connectToServer(const check::ServerAddress& address) override
    {
        const bool tls = address.security == check::Security::ImplicitTls;
        m_journal << QStringLiteral("connect %1%2:%3").arg(tls ? "tls " : "", address.host).arg(address.port);
        if (refuseNextConnect) {
            auto failure = refuseNextConnect;
            refuseNextConnect.reset();
            return failure;
        }
        if (m_open)
            return diag::failures::InvalidState();
        m_open = true;
        return std::nullopt;
    }
    std::optional<diag::Failure> startTls() override
    {
        m_journal << "starttls";
        return m_open ? refuseTls : diag::failures::InvalidState();
    }
    bool send(const QByteArray& bytes) override
    {
        sent += bytes;
        m_journal << QStringLiteral("send ") + QString::fromLatin1(bytes);
        return m_open;
    }
    void close() override
    {
        if (m_open)
            m_journal << "close";
        m_open = false;
    }
    bool isOpen() const { return m_open; }

    void serverSends(const QByteArray& bytes) { m_data(bytes); }
    // The handshake is done; the check hears what the server showed.
    void secure(const Secured& shown = {"CN=mail.example.test", "AB:CD", "TLS 1.3"})
    {
        m_journal << QStringLiteral("secured ") + shown.protocol;
        m_secured(shown);
    }
    void fail(int number, const QString& description) { m_error({number, description}); }

    QByteArray sent;
    std::optional<diag::Failure> refuseNextConnect;
    std::optional<diag::Failure> refuseTls; // what startTls() answers

private:
    std::function<void(const QByteArray&)> m_data;
    std::function<void(const diag::Failure&)> m_error;
    std::function<void(const Secured&)> m_secured;
    Journal& m_journal;
    bool m_open = false;
};

class FakeClock : public diag::Clock {
public:
    QDateTime now() const override { return time; }
    QDateTime time{QDate(2026, 12, 7), QTime(9, 30, 5)};
};

class MemorySink : public diag::LogSink {
public:
    bool append(const QString& text, diag::EventType type) override
    {
        lines << QStringLiteral("%1 %2").arg(int(type)).arg(text);
        return true;
    }
    QStringList lines;
};

class MemorySettingsStore : public settings::SettingsStore {
public:
    QString get(const QString& key) const override { return values.value(key); }
    // Writes the values one by one in order and skips a failing one.
    bool saveAll(const QList<QPair<QString, QString>>& batch) override
    {
        ++batches;
        bool all = true;
        for (const auto& [key, value] : batch) {
            writes << key;
            if (failingKeys.contains(key))
                all = false;
            else
                values[key] = value;
        }
        return all;
    }
    void put(const QString& key, const QString& value) { values[key] = value; }
    QString stored(const QString& key) const { return values.value(key); }

    QMap<QString, QString> values;
    QStringList writes;
    int batches = 0; // saveAll calls
    QStringList failingKeys;
};

// The desktop: every act the behaviour asks of it goes into the journal, and
// what the status window and the tray show now is kept beside it.
struct FakeDesktop : shell::Desktop {
    Journal journal;
    settings::Globals globals;
    MemorySettingsStore store;
    settings::ConfigStore config{globals, store};
    FakeClock clock;
    MemorySink systemLog;

    struct {
        QString status;
        shell::TextColour colour = shell::TextColour::Blue;
        shell::StatePicture picture = shell::StatePicture::Normal;
        shell::StatePicture icon = shell::StatePicture::Normal;
        bool settingsEntryEnabled = true;
        int screenWidth = 19200; // 1280 x 1024 pixels at 15 twips per pixel
        int screenHeight = 15360;
        int left = -1;
        int top = -1;
        bool topMost = false; // the window's flag and the menu's check mark
        bool visible = false;
    } window;
    struct {
        bool present = false;
        shell::StatePicture picture = shell::StatePicture::Normal;
        QString tip;
    } tray;

    // What the "user" does while a message box or the settings dialog is up.
    std::function<void()> onMessage;
    std::function<void()> onDialog;
    // Starting a program: journaled, and failing with this when it is set;
    // a test may put a real starter here instead.
    std::optional<QString> launchFailure;
    std::function<std::optional<QString>(const QString&)> starter;
    bool anotherInstance = false; // another copy runs

    shell::Ports ports(check::TcpClient& tcp, check::Timer& checkTimer, check::Timer& replyTimer,
                       check::Timer* passwordRetry = nullptr, settings::ConfigStore* settings = nullptr,
                       check::TcpClient* listening = nullptr, check::Timer* listeningTimer = nullptr)
    {
        return {.network = tcp,
                .listening = listening,
                .timers = {.check = checkTimer,
                           .reply = replyTimer,
                           .passwordRetry = passwordRetry,
                           .listening = listeningTimer},
                .clock = clock,
                .log = systemLog,
                .settings = settings ? *settings : config,
                .desktop = *this};
    }

    void setStatusText(const QString& text) override
    {
        window.status = text;
        journal << QStringLiteral("label ") + text;
    }
    void setStatusColour(shell::TextColour colour) override { window.colour = colour; }
    void refreshStatus() override {}
    void showStatePicture(shell::StatePicture picture) override
    {
        window.picture = picture;
        journal << QStringLiteral("picture %1").arg(int(picture));
    }
    void setWindowIcon(shell::StatePicture picture) override { window.icon = picture; }
    void setSettingsEntryEnabled(bool enabled) override { window.settingsEntryEnabled = enabled; }
    settings::WindowPlacement placement() const override
    {
        return {.windowWidth = 2190,
                .windowHeight = 315,
                .screenWidth = window.screenWidth,
                .screenHeight = window.screenHeight};
    }
    int leftTwips() const override { return window.left; }
    int topTwips() const override { return window.top; }
    void setLeftTwips(int left) override { window.left = left; }
    void setTopTwips(int top) override { window.top = top; }
    void setTopMost(bool topMost) override
    {
        window.topMost = topMost;
        window.visible = true;
        journal << QStringLiteral("topmost %1").arg(topMost);
    }

    void addTrayIcon(shell::StatePicture picture, const QString& tip) override
    {
        tray = {true, picture, tip};
        journal << QStringLiteral("tray add %1 %2").arg(int(picture)).arg(tip);
    }
    void setTrayIcon(shell::StatePicture picture, const QString& tip) override
    {
        tray.picture = picture;
        tray.tip = tip;
        journal << QStringLiteral("tray %1 %2").arg(int(picture)).arg(tip);
    }
    void removeTrayIcon() override
    {
        tray.present = false;
        journal << "tray remove";
    }

    void showNotice(const QString& text) override { journal << QStringLiteral("notice ") + text; }
    void playSound(const QString& path) override { journal << QStringLiteral("sound ") + path; }
    void showMessage(const QString& text, shell::MessageStyle style) override
    {
        journal << QStringLiteral("message %1 %2").arg(int(style)).arg(text);
        if (onMessage)
            onMessage();
    }
    void runConfigDialog() override
    {
        journal << "dialog";
        if (onDialog)
            onDialog();
    }
    std::optional<QString> startProgram(const QString& commandLine) override
    {
        journal << QStringLiteral("start ") + commandLine;
        return starter ? starter(commandLine) : launchFailure;
    }
    void openUrl(const QString& url) override { journal << QStringLiteral("open ") + url; }
    bool anotherCopyRunning() override { return anotherInstance; }
    void processPendingEvents() override {}
    void quit() override { journal << "quit"; }
    void endNow(int code) override { journal << QStringLiteral("end %1").arg(code); }
};

// The whole behaviour wired to fakes.
struct Harness : FakeDesktop {
    FakeTcpClient tcp{journal};
    FakeTimer checkTimer;
    FakeTimer replyTimer;
    Journal pushJournal; // what the IMAP push listener does to its own connection
    FakeTcpClient listening{pushJournal};
    FakeTimer listeningTimer;
    shell::PopChk popChk{globals,
                         ports(tcp, checkTimer, replyTimer, nullptr, nullptr, &listening, &listeningTimer)};

    Harness()
    {
        store.put("UserName", "alice");
        store.put("PassWord", "s3cret");
        store.put("Pop3Server", "mail.example.test");
    }

    // Starts the program and the first check a second later; the journal
    // then holds the check alone.
    bool startChecking(const QStringList& arguments = {}, const QString& logFolder = QDir::tempPath())
    {
        const bool running = popChk.start(arguments, logFolder) == shell::PopChk::StartResult::Running;
        journal.clear();
        return running && checkTimer.fire();
    }

    // The error count as the escalation shows it: transient failures are
    // added until the third one in a row shows the error look. Gives the
    // count there was before, or -1 when it was three or more already.
    int errorCountShown()
    {
        for (int added = 1; added <= 3; ++added) {
            checkTimer.fire();
            const qsizetype before = journal.size();
            tcp.fail(10061, "probe");
            if (journal.mid(before).contains("tray 2 Vindel - Error!"))
                return 3 - added;
        }
        return -1;
    }
};

} // namespace vindel::test
