#pragma once

#include <QString>

namespace vindel::diag {

// How a failed connection is taken. A failure whose creator does not name
// its kind is sorted by its number (check::classify, from the catalogue in
// diag/Failures.h); one that names it (a kind of failure the catalogue does
// not list) is taken as named, so a new kind never ends the program by
// accident.
enum class FailureKind { ByNumber, Transient, OffLine, Fatal };

// A failure as the program reports it: a number and a description, made from
// an entry of the failure catalogue (diag/Failures.h).
struct Failure {
    int number = 0;
    QString description;
    FailureKind kind = FailureKind::ByNumber;

    bool operator==(const Failure&) const = default;
};

} // namespace vindel::diag
