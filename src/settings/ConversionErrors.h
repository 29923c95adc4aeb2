#pragma once

#include "diag/Failure.h"

namespace vindel::settings {

// The failures a stored number can give when it is read back: the numbers
// and texts the program has always shown for them.
inline diag::Failure typeMismatch()
{
    return {13, QStringLiteral("Type mismatch")};
}

inline diag::Failure overflow()
{
    return {6, QStringLiteral("Overflow")};
}

} // namespace vindel::settings
