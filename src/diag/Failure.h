#pragma once

#include <QString>

namespace vindel::diag {

// How a failed connection is taken. A failure whose creator does not name
// its kind is sorted by its Windows Sockets number (check::classify); one
// that names it (a kind of failure the number table does not list) is taken
// as named, so a new kind never ends the program by accident.
enum class FailureKind { ByNumber, Transient, OffLine, Fatal };

// A failure as the program reports it: a number and a description. Connection
// errors carry Windows Sockets numbers, rejected replies 99999, settings
// conversion errors the numbers in settings/ConversionErrors.h.
struct Failure {
    int number = 0;
    QString description;
    FailureKind kind = FailureKind::ByNumber;

    bool operator==(const Failure&) const = default;
};

} // namespace vindel::diag
