#pragma once

namespace vindel::shell {

// The single-instance test: true when another copy already runs for this
// user and desktop session.
class InstanceCheck {
public:
    virtual ~InstanceCheck() = default;
    virtual bool anotherInstanceRunning() = 0;
};

} // namespace vindel::shell
