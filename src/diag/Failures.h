#pragma once

#include "diag/Failure.h"

#include <QString>

namespace vindel::diag {

// One failure the program knows: its number, how a connection that ends with
// it is taken, and its words. The numbers are those the error report, the log
// and the user's messages have always shown: Windows Sockets numbers for
// connections, the secure channel's range for TLS, Basic's run-time numbers
// for settings and files.
struct Catalogued {
    int number;
    FailureKind kind;
    const char* words; // the description, or its start where the case adds detail

    // The failure with the catalogue's words alone.
    Failure operator()() const { return {number, QString::fromUtf8(words)}; }
    // The words, a colon, then what this case adds.
    Failure about(const QString& detail) const
    {
        return {number, QString::fromUtf8(words) + QStringLiteral(": ") + detail};
    }
    // The failure with a description made where it is seen (a reply, a certificate).
    Failure saying(const QString& description) const { return {number, description}; }
};

// The one catalogue. A kind matters only for a failure that ends a
// connection (check::classify): transient ones are reported and escalate,
// off line keeps the minute tick, fatal ones end the program. Failures that
// never end a connection (a reply, a setting, a file) are listed as fatal,
// which is what sorting would say of them; their finders report them.
namespace failures {
using K = FailureKind;
// Connections: socket() and connect() by errno, the name lookup, the time limits.
// EACCES, EPERM
inline constexpr Catalogued PermissionDenied{10013, K::Fatal, "Permission denied"};
// EINVAL, EFAULT; with the platform's own words, any errno not listed here
inline constexpr Catalogued InvalidArgument{10014, K::Transient, "Invalid argument"};
// EMFILE, ENFILE (running out of descriptors)
inline constexpr Catalogued TooManyOpenFiles{10024, K::Fatal, "Too many open files"};
// EAFNOSUPPORT, EPROTONOSUPPORT (IPv6 switched off, say)
inline constexpr Catalogued AddressFamilyNotSupported{10047, K::Fatal, "Address family not supported"};
inline constexpr Catalogued AddressInUse{10048, K::Fatal, "Address is already in use"};
inline constexpr Catalogued AddressNotAvailable{10049, K::Fatal, "Address is not available"};
// ENETUNREACH, ENETDOWN towards a loopback address (which is never off line)
inline constexpr Catalogued NetworkUnreachable{10051, K::Fatal, "Network is unreachable"};
// ECONNRESET; an open connection reset, or broken by a read or write error
inline constexpr Catalogued ConnectionReset{10054, K::Transient, "Connection is reset by remote side"};
// ENOBUFS, ENOMEM, Qt's resource error
inline constexpr Catalogued NoBufferSpace{10055, K::Fatal, "No buffer space is available"};
// ETIMEDOUT, the connect time limit, a server silent past the reply limit
inline constexpr Catalogued TimedOut{10060, K::Transient, "Connection timed out"};
inline constexpr Catalogued ConnectionRefused{10061, K::Transient, "Connection is forcefully rejected"};
// EHOSTUNREACH, EHOSTDOWN
inline constexpr Catalogued HostUnreachable{10065, K::Transient, "No route to host"};
// The name does not exist, or is no host name at all
inline constexpr Catalogued HostNotFound{11001, K::Transient, "Host not found"};
// Any other lookup failure (a resolver that does not answer)
inline constexpr Catalogued TryAgain{11002, K::Transient, "Temporary failure in name resolution"};
// No usable network towards an address that is not loopback
inline constexpr Catalogued OffLine{11004, K::OffLine, "No network connection"};
// A connect while a connection is still open
inline constexpr Catalogued InvalidState{40020, K::Fatal, "Invalid operation at current state"};

// Secured connections: all transient, so the error report shows what is
// wrong and retries; each text says what is wrong, never how to get round it.
inline constexpr Catalogued TlsDateInvalid{12037, K::Transient, "certificate expired or not yet valid"};
inline constexpr Catalogued TlsNameMismatch{12038, K::Transient, "certificate for other names"};
inline constexpr Catalogued TlsUntrustedIssuer{12045, K::Transient, "certificate by no trusted authority"};
// No TLS agreed: a plain server, a broken handshake, text behind the "+OK" to STLS
inline constexpr Catalogued TlsHandshakeFailed{12157, K::Transient,
                                               "The TLS handshake with the server failed"};
// A key or signature too weak, or any other fault of the certificate
inline constexpr Catalogued TlsCertificateInvalid{12169, K::Transient, "certificate cannot be used"};
inline constexpr Catalogued StlsRefused{12180, K::Transient,
                                        "The server refused STLS, so the connection cannot be encrypted"};
inline constexpr Catalogued PinMismatch{12181, K::Transient, "not the pinned certificate"};
// A TLS form of the server setting that cannot be used
inline constexpr Catalogued BadTlsSetting{12182, K::Transient, "unusable TLS setting"};

// The conversation, the settings and the files.
inline constexpr Catalogued RejectedReply{99999, K::Fatal, "not +OK"}; // the reply is the description
inline constexpr Catalogued UnsendableCredential{5, K::Fatal, "credential with a line break"};
inline constexpr Catalogued Overflow{6, K::Fatal, "Overflow"};
inline constexpr Catalogued TypeMismatch{13, K::Fatal, "Type mismatch"};
inline constexpr Catalogued NotOwned{70, K::Fatal, "Permission denied"};
inline constexpr Catalogued PathAccess{75, K::Fatal, "Path/File access error"};

// Every entry, for looking a number up.
// clang-format off
inline constexpr const Catalogued* all[] = {
    &PermissionDenied, &InvalidArgument, &TooManyOpenFiles, &AddressFamilyNotSupported, &AddressInUse,
    &AddressNotAvailable, &NetworkUnreachable, &ConnectionReset, &NoBufferSpace, &TimedOut,
    &ConnectionRefused, &HostUnreachable, &HostNotFound, &TryAgain, &OffLine, &InvalidState,
    &TlsDateInvalid, &TlsNameMismatch, &TlsUntrustedIssuer, &TlsHandshakeFailed, &TlsCertificateInvalid,
    &StlsRefused, &PinMismatch, &BadTlsSetting, &RejectedReply, &UnsendableCredential, &Overflow,
    &TypeMismatch, &NotOwned, &PathAccess};
// clang-format on

// The kind of a number; one the catalogue does not list is fatal.
constexpr FailureKind kindOf(int number)
{
    for (const Catalogued* entry : all)
        if (entry->number == number)
            return entry->kind;
    return K::Fatal;
}

constexpr bool numbersAreUnique()
{
    for (const Catalogued* a : all)
        for (const Catalogued* b : all)
            if (a != b && a->number == b->number)
                return false;
    return true;
}
static_assert(numbersAreUnique(), "a failure number stands for one failure");
} // namespace failures

} // namespace vindel::diag
