#pragma once

#include <functional>

namespace vindel::check {

// A repeating timer with the semantics of the check timer: an interval in
// milliseconds (0 stops it) and an enabled flag. It fires setHandler's
// callback on the event thread every interval while enabled.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setHandler(std::function<void()> handler) = 0;
    virtual void setInterval(int milliseconds) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

} // namespace vindel::check
