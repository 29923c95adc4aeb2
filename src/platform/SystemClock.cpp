#include "platform/SystemClock.h"

namespace vindel::platform {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

} // namespace vindel::platform
