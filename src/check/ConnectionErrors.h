#pragma once

#include "diag/Failures.h"

namespace vindel::check {

// How a connection error is taken: as its creator named it, otherwise as the
// failure catalogue lists its number. A transient error is reported and
// escalates; being off line keeps the minute tick; a number the catalogue
// does not list is fatal.
inline diag::FailureKind classify(const diag::Failure& failure)
{
    if (failure.kind != diag::FailureKind::ByNumber)
        return failure.kind;
    return diag::failures::kindOf(failure.number);
}

} // namespace vindel::check
