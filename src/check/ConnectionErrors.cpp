#include "check/ConnectionErrors.h"

namespace vindel::check {
namespace {
constexpr int offLineNumber = 11004;
} // namespace

diag::FailureKind classify(const diag::Failure& failure)
{
    using diag::FailureKind;
    if (failure.kind != FailureKind::ByNumber)
        return failure.kind;
    switch (failure.number) {
    case 10014: // bad address
    case 10054: // connection reset
    case 10060: // timed out
    case 10061: // refused
    case 10065: // host unreachable
    case 11001: // host not found
    case 11002: // temporary resolver failure
        return FailureKind::Transient;
    case tlsfailure::dateInvalid:
    case tlsfailure::nameMismatch:
    case tlsfailure::untrustedIssuer:
    case tlsfailure::handshakeFailed:
    case tlsfailure::certificateInvalid:
    case tlsfailure::stlsRefused:
    case tlsfailure::pinMismatch:
    case tlsfailure::badSetting:
        return FailureKind::Transient;
    case offLineNumber: // no data for the name: taken as being off line
        return FailureKind::OffLine;
    default:
        return FailureKind::Fatal;
    }
}

} // namespace vindel::check
