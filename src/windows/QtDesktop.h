#pragma once

#include "platform/InstanceLock.h"
#include "platform/QtSoundPlayer.h"
#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "shell/Desktop.h"
#include "windows/AboutWindow.h"
#include "windows/NotifyWindow.h"
#include "windows/StatusWindow.h"
#include "windows/TrayIcon.h"

#include <QDBusConnection>
#include <QPointer>

namespace vindel::windows {

// The desktop as the program's behaviour sees it, on Qt Widgets: the status
// window with its menu, the tray icon, the notice, the About window, message
// boxes, the settings dialog, the sound player and the program starter.
//
// Message boxes and the settings dialog are modal to the status window only,
// so that the tray icon's menu still opens while they are up; a box raised
// from the settings dialog is modal to the dialog. The notice is the status
// window's transient, so that window managers keep it in front of that
// window. The notice and the About window are shared: made on first use,
// reused while open, made afresh after they have closed.
class QtDesktop : public shell::Desktop {
public:
    // bus: the session bus connection of the tray's status notifier item;
    // without one, only an X11 tray is served.
    QtDesktop(settings::Globals& globals, settings::ConfigStore& config,
              QDBusConnection bus = QDBusConnection(QString()),
              int noticeLifetimeMs = NotifyWindow::defaultLifetimeMs);
    ~QtDesktop() override;
    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    // The behaviour is made after the desktop; until then presses do nothing.
    void setBehaviour(shell::PopChk* popChk);
    StatusWindow& window() { return m_window; }
    TrayIcon& tray() { return m_tray; }
    platform::InstanceLock& instance() { return m_instance; }

    // The About window: shown, or brought forward while it is open.
    void showAbout();
    // A later start asked for the window: shown again even after the menu
    // hid it (the show/hide entry then reads "非表示" again), raised and
    // activated.
    void bringToFront();

    void setStatusText(const QString& text) override { m_window.setStatusText(text); }
    void setStatusColour(shell::TextColour colour) override { m_window.setStatusColour(colour); }
    void refreshStatus() override { m_window.refreshStatus(); }
    void showStatePicture(shell::StatePicture picture) override { m_window.showStatePicture(picture); }
    void setWindowIcon(shell::StatePicture picture) override { m_window.setWindowIcon(picture); }
    void setSettingsEntryEnabled(bool enabled) override { m_window.setSettingsEntryEnabled(enabled); }
    settings::WindowPlacement placement() const override { return m_window.placement(); }
    int leftTwips() const override { return m_window.leftTwips(); }
    int topTwips() const override { return m_window.topTwips(); }
    void setLeftTwips(int left) override { m_window.setLeftTwips(left); }
    void setTopTwips(int top) override { m_window.setTopTwips(top); }
    void setTopMost(bool topMost) override { m_window.setTopMost(topMost); }

    void addTrayIcon(shell::StatePicture picture, const QString& tip) override { m_tray.add(picture, tip); }
    void setTrayIcon(shell::StatePicture picture, const QString& tip) override
    {
        m_tray.modify(picture, tip);
    }
    void removeTrayIcon() override { m_tray.remove(); }

    void showNotice(const QString& text) override;
    void playSound(const QString& path) override { m_sound.play(path); }
    void showMessage(const QString& text, shell::MessageStyle style) override;
    void runConfigDialog() override;
    std::optional<QString> startProgram(const QString& commandLine) override;
    void openUrl(const QString& url) override;

    bool anotherCopyRunning() override { return m_instance.anotherInstanceRunning(); }
    void processPendingEvents() override;
    void quit() override;
    void endNow(int exitCode) override;

private:
    void fillNotice(const QString& text);

    settings::Globals& m_globals;
    settings::ConfigStore& m_config;
    platform::InstanceLock m_instance;
    platform::QtSoundPlayer m_sound;
    StatusWindow m_window;
    TrayIcon m_tray;
    int m_noticeLifetimeMs;
    QPointer<NotifyWindow> m_notice;
    QPointer<AboutWindow> m_about;
};

} // namespace vindel::windows
