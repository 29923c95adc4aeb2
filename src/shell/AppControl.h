#pragma once

namespace vindel::shell {

// The event loop and the process, as the behaviour needs them.
class AppControl {
public:
    virtual ~AppControl() = default;
    // Lets queued window, timer and socket events run before going on.
    virtual void processPendingEvents() = 0;
    // Leaves every event loop and ends the program normally (after the
    // shut-down sequence has run).
    virtual void quit() = 0;
    // Ends the process at once: no shut-down sequence, nothing runs after it.
    virtual void endNow(int exitCode) = 0;
};

} // namespace vindel::shell
