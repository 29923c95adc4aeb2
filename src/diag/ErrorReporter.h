#pragma once

#include <QString>

namespace vindel::diag {

// The one place a failed check is reported to the user (the escalating error
// report). Callers raise the error count before they call report().
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void report(int number, const QString& description) = 0;
};

} // namespace vindel::diag
