#pragma once

#include <QDateTime>

namespace vindel::diag {

// The local wall clock, injectable so that log time stamps can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

} // namespace vindel::diag
