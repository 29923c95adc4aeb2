#pragma once

#include <QByteArray>
#include <QStringList>

namespace vindel::shell {

// What the session offers, read from the environment before the program
// connects to any display.
struct DisplaySession {
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray sessionType;    // XDG_SESSION_TYPE
    QByteArray display;        // DISPLAY
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM
};

// The status window needs a place of its own choosing on the screen and a
// band above other windows, which only X11 gives. In a Wayland session that
// also runs Xwayland the program therefore runs on X11 ("xcb"), unless the
// user chose a platform (QT_QPA_PLATFORM or a "-platform" argument). Empty:
// leave the choice to Qt.
QByteArray chooseDisplayPlatform(const DisplaySession& session, const QStringList& arguments);

} // namespace vindel::shell
