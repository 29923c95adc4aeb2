#pragma once

#include "settings/WindowPlacement.h"

#include <QString>

#include <optional>

namespace vindel::shell {

// Text colours of the status label.
enum class TextColour { Blue, Red, Black };

// Pictures of the state button; they double as tray and window icons.
enum class StatePicture { Normal = 0, NewMail = 1, Error = 2 };

// Icon styles of the program's message boxes, with their traditional values.
enum class MessageStyle { Stop = 16, Exclamation = 48, Information = 64 };

// Everything the behaviour does on the desktop, as one stream of acts: the
// status window, the tray icon, the notice, message boxes, the settings
// dialog, sound, starting programs and the event loop. A message box and the
// settings dialog block: the call returns once the user has closed them.
class Desktop {
public:
    virtual ~Desktop() = default;

    // The status window's label, pictures and menu.
    virtual void setStatusText(const QString& text) = 0;
    virtual void setStatusColour(TextColour colour) = 0;
    virtual void refreshStatus() = 0; // repaints the label at once, before the caller goes on
    virtual void showStatePicture(StatePicture picture) = 0; // exactly one of the three shows
    virtual void setWindowIcon(StatePicture picture) = 0;
    virtual void setSettingsEntryEnabled(bool enabled) = 0; // the window menu's settings entry

    // The status window's place, in twips (1/1440 inch; 1440 / dpi twips
    // per pixel). placement() gives the window's and the screen's sizes.
    virtual settings::WindowPlacement placement() const = 0;
    virtual int leftTwips() const = 0;
    virtual int topTwips() const = 0;
    virtual void setLeftTwips(int left) = 0;
    virtual void setTopTwips(int top) = 0;
    // Puts the window into or out of the top-most band, always showing it;
    // the menu's check mark follows.
    virtual void setTopMost(bool topMost) = 0;

    // The icon in the notification area, added once at start-up with the
    // tip "Vindel" alone; the tip is already fitted (see TrayTip.h). Results
    // are never examined: a desktop without a tray simply shows nothing.
    virtual void addTrayIcon(StatePicture picture, const QString& tip) = 0;
    virtual void setTrayIcon(StatePicture picture, const QString& tip) = 0;
    virtual void removeTrayIcon() = 0;

    // The shared new-mail notice: made on first use (it centres itself, stays
    // on top and closes 5000 ms after it was made), given the text and the
    // caption "Vindel", shown after pending events have run.
    virtual void showNotice(const QString& text) = 0;
    // Plays a wave file in the background and returns at once; a file that
    // cannot be played is skipped silently.
    virtual void playSound(const QString& path) = 0;
    // A modal box titled "Vindel" with one OK button.
    virtual void showMessage(const QString& text, MessageStyle style) = 0;
    // The settings dialog, modal, on a fresh window each time.
    virtual void runConfigDialog() = 0;

    // Starts a command line (program and arguments split as a shell would,
    // with no shell in between) without waiting for it. Gives the platform's
    // description of a failure, or nothing when the program was started.
    virtual std::optional<QString> startProgram(const QString& commandLine) = 0;
    // Hands an address to the desktop's default handler; failures ignored.
    virtual void openUrl(const QString& url) = 0;

    // True when another copy already runs for this user and desktop session.
    virtual bool anotherCopyRunning() = 0;
    // Lets queued window, timer and socket events run before going on.
    virtual void processPendingEvents() = 0;
    // Leaves every event loop and ends the program normally (after the
    // shut-down sequence has run).
    virtual void quit() = 0;
    // Ends the process at once: no shut-down sequence, nothing runs after it.
    virtual void endNow(int exitCode) = 0;
};

} // namespace vindel::shell
