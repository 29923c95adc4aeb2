#pragma once

#include "diag/Clock.h"

#include <QDateTime>

namespace vindel::platform {

// The local wall clock.
class SystemClock : public diag::Clock {
public:
    QDateTime now() const override;
};

} // namespace vindel::platform
