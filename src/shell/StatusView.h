#pragma once

#include <QString>

namespace vindel::shell {

// Text colours of the status label.
enum class TextColour { Blue, Red, Black };

// Pictures of the state button; they double as tray and window icons.
enum class StatePicture { Normal = 0, NewMail = 1, Error = 2 };

// The status window as the program's behaviour sees it.
class StatusView {
public:
    virtual ~StatusView() = default;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setStatusColour(TextColour colour) = 0;
    // Repaints the status label at once, before the caller goes on.
    virtual void refreshStatus() = 0;
    // Makes exactly one of the three stacked state pictures visible.
    virtual void showStatePicture(StatePicture picture) = 0;
    virtual void setWindowIcon(StatePicture picture) = 0;
    // The enabled state of the settings entry of the window's menu.
    virtual void setSettingsEntryEnabled(bool enabled) = 0;
    // The check mark of the "always in front" menu entry.
    virtual void setFormTopChecked(bool checked) = 0;
    virtual bool isFormTopChecked() const = 0;
};

} // namespace vindel::shell
