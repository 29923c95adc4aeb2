#pragma once

#include "shell/Desktop.h"

#include <QString>

#include <optional>

namespace vindel::shell {

// The moments at which what the user sees of the check changes.
enum class Moment {
    Initialize,     // start-up
    Connecting,     // a check starts
    Connected,      // its settings are read; it connects
    UserNameSent,   // USER sent
    PasswordSent,   // PASS sent
    Checking,       // STAT sent
    CountFound,     // the STAT count arrived
    MailerOpened,   // the mail program started with the count reset on
    RetrySoon,      // the first or second failure in a row, after its dialog
    SettingsClosed, // the settings command's dialog has closed
    ErrorLook,      // the third failure in a row
    StillFailing,   // the fourth and later failures
    OffLine,        // no network
};

// What the user sees at a moment. Empty parts stay as they were: the label
// keeps its colour unless the look names one, and the tray keeps its picture
// and tip (being off line, for example, leaves the tray as it was).
struct Look {
    std::optional<QString> status = std::nullopt; // the status label's text
    std::optional<TextColour> colour = std::nullopt;
    std::optional<StatePicture> tray = std::nullopt;       // tray picture; its tip follows the status
    std::optional<StatePicture> windowIcon = std::nullopt; // the status window's icon
    std::optional<StatePicture> button = std::nullopt;     // the visible state picture
    bool settingsEntryEnabled = false;                     // the window menu's settings entry turned on

    bool operator==(const Look&) const = default;
};

// The one rule of what each moment shows. For CountFound, count is the
// server's count and changed says whether it differs from the one reported
// before: only a changed count changes the pictures.
Look lookAt(Moment moment, const QString& count = {}, bool changed = false);

// "You have 3 Mail(s)", or "You have No mail" for "0".
QString mailCountText(const QString& count);

// The one place a look reaches the status window and the tray. show() runs
// the three parts in order; the mail-count report runs them one by one, with
// the notice and the sound between the tray and the pictures.
class LookPainter {
public:
    explicit LookPainter(Desktop& desktop) : m_desktop(desktop) {}

    void show(const Look& look);
    void showStatus(const Look& look);   // text, colour, repaint
    void showTray(const Look& look);     // tray picture and tip
    void showPictures(const Look& look); // window icon, state picture, settings entry

private:
    Desktop& m_desktop;
};

} // namespace vindel::shell
