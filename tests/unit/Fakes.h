#pragma once

#include "QtPrinters.h"
#include "check/TcpClient.h"
#include "check/Timer.h"
#include "diag/Clock.h"
#include "diag/LogSink.h"
#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "settings/SettingsStore.h"
#include "settings/WindowPlacement.h"
#include "shell/AboutView.h"
#include "shell/AppControl.h"
#include "shell/ConfigDialogHost.h"
#include "shell/InstanceCheck.h"
#include "shell/MessageBoxes.h"
#include "shell/NoticeView.h"
#include "shell/PopChk.h"
#include "shell/ProcessLauncher.h"
#include "shell/SoundPlayer.h"
#include "shell/StatusView.h"
#include "shell/Tray.h"

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
    int interval() const override { return m_interval; }
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

class FakeTcpClient : public check::TcpClient {
public:
    explicit FakeTcpClient(Journal& journal) : m_journal(journal) {}
    void setDataHandler(std::function<void(const QByteArray&)> h) override { m_data = std::move(h); }
    void setErrorHandler(std::function<void(const diag::Failure&)> h) override { m_error = std::move(h); }
    std::optional<diag::Failure> connectTo(const QString& host, quint16 port) override
    {
        m_journal << QStringLiteral("connect %1:%2").arg(host).arg(port);
        if (refuseNextConnect) {
            auto failure = refuseNextConnect;
            refuseNextConnect.reset();
            return failure;
        }
        if (m_open)
            return diag::Failure{40020, QStringLiteral("Invalid operation at current state")};
        m_open = true;
        return std::nullopt;
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
            m_journal << QStringLiteral("close");
        m_open = false;
    }
    bool isOpen() const override { return m_open; }

    void serverSends(const QByteArray& bytes) { m_data(bytes); }
    void fail(int number, const QString& description) { m_error({number, description}); }

    QByteArray sent;
    std::optional<diag::Failure> refuseNextConnect;

private:
    Journal& m_journal;
    std::function<void(const QByteArray&)> m_data;
    std::function<void(const diag::Failure&)> m_error;
    bool m_open = false;
};

class FakeStatusWindow : public shell::StatusView, public settings::WindowPlacement {
public:
    explicit FakeStatusWindow(Journal& journal) : m_journal(journal) {}

    void setStatusText(const QString& text) override
    {
        status = text;
        m_journal << QStringLiteral("label ") + text;
    }
    void setStatusColour(shell::TextColour c) override { colour = c; }
    void refreshStatus() override { ++refreshes; }
    void showStatePicture(shell::StatePicture p) override
    {
        picture = p;
        m_journal << QStringLiteral("picture %1").arg(int(p));
    }
    void setWindowIcon(shell::StatePicture p) override { icon = p; }
    void setSettingsEntryEnabled(bool enabled) override { settingsEntryEnabled = enabled; }

    int windowWidthTwips() const override { return 2190; }
    int windowHeightTwips() const override { return 315; }
    int screenWidthTwips() const override { return screenWidth; }
    int screenHeightTwips() const override { return screenHeight; }
    int leftTwips() const override { return left; }
    int topTwips() const override { return top; }
    void setLeftTwips(int value) override { left = value; }
    void setTopTwips(int value) override { top = value; }
    void setTopMost(bool value) override
    {
        topMost = value;
        visible = true;
        m_journal << QStringLiteral("topmost %1").arg(value);
    }
    void setFormTopChecked(bool checked) override { formTopChecked = checked; }
    bool isFormTopChecked() const override { return formTopChecked; }

    QString status;
    shell::TextColour colour = shell::TextColour::Blue;
    int refreshes = 0;
    shell::StatePicture picture = shell::StatePicture::Normal;
    shell::StatePicture icon = shell::StatePicture::Normal;
    bool settingsEntryEnabled = true;
    int screenWidth = 19200; // 1280 x 1024 pixels at 15 twips per pixel
    int screenHeight = 15360;
    int left = -1;
    int top = -1;
    bool topMost = false;
    bool visible = false;
    bool formTopChecked = false;

private:
    Journal& m_journal;
};

class FakeTray : public shell::Tray {
public:
    explicit FakeTray(Journal& journal) : m_journal(journal) {}
    void add(shell::StatePicture p, const QString& t) override
    {
        present = true;
        picture = p;
        tip = t;
        m_journal << QStringLiteral("tray add %1 %2").arg(int(p)).arg(t);
    }
    void modify(shell::StatePicture p, const QString& t) override
    {
        picture = p;
        tip = t;
        m_journal << QStringLiteral("tray %1 %2").arg(int(p)).arg(t);
    }
    void remove() override
    {
        present = false;
        m_journal << QStringLiteral("tray remove");
    }
    bool present = false;
    shell::StatePicture picture = shell::StatePicture::Normal;
    QString tip;

private:
    Journal& m_journal;
};

class FakeNotice : public shell::NoticeView {
public:
    explicit FakeNotice(Journal& journal) : m_journal(journal) {}
    void showNotice(const QString& text) override { m_journal << QStringLiteral("notice ") + text; }

private:
    Journal& m_journal;
};

class FakeSound : public shell::SoundPlayer {
public:
    explicit FakeSound(Journal& journal) : m_journal(journal) {}
    void play(const QString& path) override { m_journal << QStringLiteral("sound ") + path; }

private:
    Journal& m_journal;
};

class FakeMessageBoxes : public shell::MessageBoxes {
public:
    explicit FakeMessageBoxes(Journal& journal) : m_journal(journal) {}
    void show(const QString& text, shell::MessageStyle style) override
    {
        m_journal << QStringLiteral("message %1 %2").arg(int(style)).arg(text);
        if (onShow)
            onShow();
    }
    std::function<void()> onShow;

private:
    Journal& m_journal;
};

class FakeConfigDialog : public shell::ConfigDialogHost {
public:
    explicit FakeConfigDialog(Journal& journal) : m_journal(journal) {}
    void runModal() override
    {
        m_journal << QStringLiteral("dialog");
        if (onRun)
            onRun();
    }
    std::function<void()> onRun; // what the "user" does in the dialog

private:
    Journal& m_journal;
};

class FakeAbout : public shell::AboutView {
public:
    explicit FakeAbout(Journal& journal) : m_journal(journal) {}
    void showAbout() override { m_journal << QStringLiteral("about"); }

private:
    Journal& m_journal;
};

class FakeLauncher : public shell::ProcessLauncher {
public:
    explicit FakeLauncher(Journal& journal) : m_journal(journal) {}
    std::optional<QString> start(const QString& commandLine) override
    {
        m_journal << QStringLiteral("start ") + commandLine;
        return failure;
    }
    void openUrl(const QString& url) override { m_journal << QStringLiteral("open ") + url; }
    std::optional<QString> failure;

private:
    Journal& m_journal;
};

class FakeApp : public shell::AppControl {
public:
    explicit FakeApp(Journal& journal) : m_journal(journal) {}
    void processPendingEvents() override
    {
        if (onProcessEvents)
            onProcessEvents();
    }
    void quit() override { m_journal << QStringLiteral("quit"); }
    void endNow(int code) override { m_journal << QStringLiteral("end %1").arg(code); }
    std::function<void()> onProcessEvents;

private:
    Journal& m_journal;
};

class FakeInstance : public shell::InstanceCheck {
public:
    bool anotherInstanceRunning() override { return another; }
    bool another = false;
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
    QString get(const QString& app, const QString& section, const QString& key) const override
    {
        return values.value(app + u'/' + section + u'/' + key);
    }
    bool save(const QString& app, const QString& section, const QString& key, const QString& value) override
    {
        writes << key;
        if (failingKeys.contains(key))
            return false;
        values[app + u'/' + section + u'/' + key] = value;
        return true;
    }
    bool saveAll(const QString& app, const QString& section,
                 const QList<QPair<QString, QString>>& batch) override
    {
        ++batches;
        return SettingsStore::saveAll(app, section, batch);
    }
    void put(const QString& key, const QString& value)
    {
        values[QStringLiteral("Vindel/Config/") + key] = value;
    }
    QString stored(const QString& key) const { return values.value(QStringLiteral("Vindel/Config/") + key); }

    QMap<QString, QString> values;
    QStringList writes;
    int batches = 0; // saveAll calls
    QStringList failingKeys;
};

// Every fake the behaviour talks to, except the connection, the timers and
// the program launcher, which tests choose: fakes, or the real ones.
struct FakeDesktop {
    Journal journal;
    settings::Globals globals;
    MemorySettingsStore store;
    FakeStatusWindow window{journal};
    settings::ConfigStore config{globals, store, window};
    FakeSound sound{journal};
    FakeTray tray{journal};
    FakeNotice notice{journal};
    FakeAbout about{journal};
    FakeConfigDialog dialog{journal};
    FakeMessageBoxes messages{journal};
    FakeApp app{journal};
    FakeInstance instance;
    FakeClock clock;
    MemorySink systemLog;

    shell::Ports ports(check::TcpClient& tcp, check::Timer& checkTimer, check::Timer& replyTimer,
                       shell::ProcessLauncher& launcher)
    {
        return {tcp,   checkTimer, replyTimer, sound,    window, window,   tray,  notice,
                about, dialog,     messages,   launcher, app,    instance, clock, systemLog};
    }
};

// The whole behaviour wired to fakes.
struct Harness : FakeDesktop {
    FakeTcpClient tcp{journal};
    FakeTimer checkTimer;
    FakeTimer replyTimer;
    FakeLauncher launcher{journal};
    shell::PopChk popChk{globals, config, ports(tcp, checkTimer, replyTimer, launcher)};

    Harness()
    {
        store.put(QStringLiteral("UserName"), QStringLiteral("alice"));
        store.put(QStringLiteral("PassWord"), QStringLiteral("s3cret"));
        store.put(QStringLiteral("Pop3Server"), QStringLiteral("mail.example.test"));
    }
};

} // namespace vindel::test
