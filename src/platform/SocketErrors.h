#pragma once

#include "diag/Failure.h"

#include <QHostInfo>
#include <QString>

namespace vindel::platform {

// The one table that turns this platform's socket and resolver failures into
// the Windows Sockets numbers the program decides on. Descriptions are short
// English texts; the number alone drives the program's reaction.
//
// Number  Name              Raised for
// 10013   WSAEACCES         connect: EACCES, EPERM (a firewall rule, a broadcast address)
// 10014   WSAEFAULT         connect: EINVAL, EFAULT; any socket failure not named in this table
//                           (the description is then the platform's own text)
// 10024   WSAEMFILE         socket: EMFILE, ENFILE
// 10047   WSAEAFNOSUPPORT   socket: EAFNOSUPPORT, EPROTONOSUPPORT (IPv6 switched off, say)
// 10048   WSAEADDRINUSE     connect: EADDRINUSE (no free local port)
// 10049   WSAEADDRNOTAVAIL  connect: EADDRNOTAVAIL
// 10051   WSAENETUNREACH    connect: ENETUNREACH, ENETDOWN towards a loopback address (which is
//                           never off line)
// 10054   WSAECONNRESET     connect: ECONNRESET; an open connection reset by the server, or
//                           broken by a read or write error
// 10055   WSAENOBUFS        ENOBUFS, ENOMEM; Qt's resource error
// 10060   WSAETIMEDOUT      connect: ETIMEDOUT, or the client's own connect time limit
// 10061   WSAECONNREFUSED   connect: ECONNREFUSED (nothing listens on the port)
// 10065   WSAEHOSTUNREACH   connect: EHOSTUNREACH, EHOSTDOWN
// 11001   WSAHOST_NOT_FOUND name lookup: the name does not exist (QHostInfo::HostNotFound, which
//                           covers EAI_NONAME, EAI_FAIL and EAI_NODATA, and names that are not
//                           valid host names at all)
// 11002   WSATRY_AGAIN      name lookup: any other failure (QHostInfo::UnknownError, which is
//                           what EAI_AGAIN, no answer from the resolver, becomes)
// 11004   WSANO_DATA        off line: no usable network interface when the destination is not a
//                           loopback address, or connect: ENETUNREACH, ENETDOWN
// 40020   -                 connectTo while a connection is still open (refused at once)
//
// An orderly close by the server is no failure and has no number.
enum class WinsockError : int {
    PermissionDenied = 10013,
    InvalidArgument = 10014,
    TooManyOpenFiles = 10024,
    AddressFamilyNotSupported = 10047,
    AddressInUse = 10048,
    AddressNotAvailable = 10049,
    NetworkUnreachable = 10051,
    ConnectionReset = 10054,
    NoBufferSpace = 10055,
    TimedOut = 10060,
    ConnectionRefused = 10061,
    HostUnreachable = 10065,
    HostNotFound = 11001,
    TryAgain = 11002,
    OffLine = 11004,
    InvalidState = 40020,
};

// The failure for a number of the table, with the table's description.
diag::Failure socketFailure(WinsockError number);

// A failed socket() or connect(), by errno. ENETUNREACH and ENETDOWN mean off
// line unless the destination is a loopback address.
diag::Failure failureFromErrno(int error, bool loopbackDestination);

// A failed name lookup.
diag::Failure failureFromLookup(QHostInfo::HostInfoError error);

} // namespace vindel::platform
