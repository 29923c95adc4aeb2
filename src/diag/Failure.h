#pragma once

#include <QString>

namespace vindel::diag {

// A failure as the program reports it: a number and a description. Connection
// errors carry Windows Sockets numbers, rejected replies 99999, settings
// conversion errors the numbers in settings/ConversionErrors.h.
struct Failure {
    int number = 0;
    QString description;

    bool operator==(const Failure&) const = default;
};

} // namespace vindel::diag
