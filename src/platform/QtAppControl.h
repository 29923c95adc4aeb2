#pragma once

#include "shell/AppControl.h"

namespace vindel::platform {

// The Qt event loop and the process behind the behaviour's AppControl.
class QtAppControl : public shell::AppControl {
public:
    void processPendingEvents() override;
    void quit() override;
    void endNow(int exitCode) override;
};

} // namespace vindel::platform
