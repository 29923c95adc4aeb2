#pragma once

#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

namespace vindel::platform {

// The single-instance test: one running program per user and desktop session.
//
// A lock file in the user's runtime folder, named after the desktop session,
// is held for the life of this object; a lock left behind by a process that
// no longer runs is taken over. Beside it the running copy listens on a local
// socket: a later start that finds the lock taken connects, sends one byte
// and ends, and the running copy brings its window to the front. The socket
// serves a few clients at once and drops one that stays silent, so no client
// can take the descriptors the mail check needs.
//
// The session is the display the program shows itself on, normalised so that
// every spelling of one display gives one name (see sessionName()). The
// runtime folder already belongs to one user; the display then tells apart
// that user's desktops (a second seat, a remote desktop). The login session
// id is not used: a copy started from a terminal of another login (ssh, su)
// onto the same display would count as a different session and put a second
// icon into the same tray. The session bus address is not used either: with
// a per-user bus it is the same for all of a user's desktops.
class InstanceLock {
public:
    InstanceLock();
    // For tests: an explicit folder and session name.
    InstanceLock(const QString& folder, const QString& session);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object holds the lock (now or already).
    bool tryAcquire();
    // The start-up's question: false once this instance holds the lock. When
    // another copy holds it, that copy is asked to come to the front (waiting
    // a second at most) before the answer.
    bool anotherInstanceRunning();
    QString lockPath() const;
    QString socketPath() const;

    // Once the program runs: onLaterStart is called on the event thread each
    // time a later start asks this copy to come to the front. Needs the lock.
    bool listenForLaterStarts(std::function<void()> onLaterStart);

    // The current desktop session's name, from $WAYLAND_DISPLAY, else
    // $DISPLAY.
    static QString currentSession();
    // The session name, safe in a file name:
    // - Wayland: "wl-" and the socket's name; a path inside the runtime
    //   folder counts as the bare name ("wayland-0" and
    //   "/run/user/1000/wayland-0" are both "wl-wayland-0").
    // - X: "x11-" and the display number, the screen number dropped; the
    //   local host may be spelled "", "unix", "localhost", "127.0.0.1",
    //   "::1" or this machine's host name, with or without a "unix/", "tcp/"
    //   or "local/" protocol prefix (":0", ":0.1", "unix:0", "localhost:0.0"
    //   are all "x11-0"). Another host keeps its name, in lower case:
    //   "x11-host-0". A text that is no display name is kept as it is:
    //   "other-" and the text.
    // - Neither: "nodisplay".
    static QString sessionName(const QString& waylandDisplay, const QString& display,
                               const QString& runtimeFolder, const QString& hostName);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    int m_clients = 0; // before m_server: its clients go with it
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace vindel::platform
