#include "shell/MenuEnabling.h"

namespace vindel::shell {

MenuState trayMenuState(bool checkTimerEnabled)
{
    return {checkTimerEnabled, checkTimerEnabled};
}

MenuState windowMenuState(bool checkTimerEnabled, qint16 errorCount)
{
    MenuState state = trayMenuState(checkTimerEnabled);
    if (errorCount >= 3)
        state.settingsEnabled = true;
    return state;
}

} // namespace vindel::shell
