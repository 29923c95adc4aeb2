#pragma once

#include "diag/Failure.h"

namespace vindel::check {

// How a connection error is taken: as its creator named it, otherwise by its
// Windows Sockets number. A transient error is reported and escalates; being
// off line keeps the minute tick; a number the table does not list is fatal.
diag::FailureKind classify(const diag::Failure& failure);

// The numbers of secured connections' failures, in the range Windows uses
// for its secure channel. All are transient: the error report shows what is
// wrong and retries, and the program never ends over one. The texts are made
// where the failure is seen (platform/SocketErrors for the socket's, the
// check for STLS and the setting).
namespace tlsfailure {
inline constexpr int dateInvalid = 12037;        // expired or not yet valid
inline constexpr int nameMismatch = 12038;       // for other names than the server's
inline constexpr int untrustedIssuer = 12045;    // self-signed or by an authority not trusted
inline constexpr int handshakeFailed = 12157;    // no TLS agreed (a plain server, a broken one)
inline constexpr int certificateInvalid = 12169; // any other fault of the certificate
inline constexpr int stlsRefused = 12180;        // anything but "+OK" to STLS
inline constexpr int pinMismatch = 12181;        // not the pinned certificate
inline constexpr int badSetting = 12182;         // a TLS form of the server setting that cannot be used
} // namespace tlsfailure

} // namespace vindel::check
