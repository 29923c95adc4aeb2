#pragma once

#include <QtGlobal>

namespace vindel::shell {

// Enabled state of the two menu entries that depend on the check cycle.
struct MenuState {
    bool checkEnabled = true;    // "ﾒｰﾙﾁｪｯｸ！"
    bool settingsEnabled = true; // "設定"
    bool operator==(const MenuState&) const = default;
};

// While the check timer is stopped (a check runs, or the settings dialog is
// open) the check and settings entries are disabled. The status window's
// menu keeps the settings entry usable after three failures in a row, so a
// user whose checking has stopped can still reach the settings.
MenuState windowMenuState(bool checkTimerEnabled, qint16 errorCount);
MenuState trayMenuState(bool checkTimerEnabled);

} // namespace vindel::shell
