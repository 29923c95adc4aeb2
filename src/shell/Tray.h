#pragma once

#include "shell/StatusView.h"

#include <QString>

namespace vindel::shell {

// The icon in the desktop's notification area. Results are never examined:
// a desktop without a tray simply shows nothing.
class Tray {
public:
    virtual ~Tray() = default;
    // Added once at start-up with the tip "Vindel" alone.
    virtual void add(StatePicture picture, const QString& tip) = 0;
    // Replaces picture and tip; the tip is already fitted (see TrayTip.h).
    virtual void modify(StatePicture picture, const QString& tip) = 0;
    virtual void remove() = 0;
};

} // namespace vindel::shell
