#pragma once

#include "diag/Failure.h"

namespace vindel::check {

// How a connection error is taken: as its creator named it, otherwise by its
// Windows Sockets number. A transient error is reported and escalates; being
// off line keeps the minute tick; a number the table does not list is fatal.
diag::FailureKind classify(const diag::Failure& failure);

} // namespace vindel::check
