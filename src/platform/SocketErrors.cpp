#include "platform/SocketErrors.h"

#include <cerrno>
#include <cstring>

namespace vindel::platform {

diag::Failure socketFailure(WinsockError number)
{
    const int n = static_cast<int>(number);
    switch (number) {
    case WinsockError::PermissionDenied:
        return {n, QStringLiteral("Permission denied")};
    case WinsockError::InvalidArgument:
        return {n, QStringLiteral("Invalid argument")};
    case WinsockError::TooManyOpenFiles:
        return {n, QStringLiteral("Too many open files")};
    case WinsockError::AddressFamilyNotSupported:
        return {n, QStringLiteral("Address family not supported")};
    case WinsockError::AddressInUse:
        return {n, QStringLiteral("Address is already in use")};
    case WinsockError::AddressNotAvailable:
        return {n, QStringLiteral("Address is not available")};
    case WinsockError::NetworkUnreachable:
        return {n, QStringLiteral("Network is unreachable")};
    case WinsockError::ConnectionReset:
        return {n, QStringLiteral("Connection is reset by remote side")};
    case WinsockError::NoBufferSpace:
        return {n, QStringLiteral("No buffer space is available")};
    case WinsockError::TimedOut:
        return {n, QStringLiteral("Connection timed out")};
    case WinsockError::ConnectionRefused:
        return {n, QStringLiteral("Connection is forcefully rejected")};
    case WinsockError::HostUnreachable:
        return {n, QStringLiteral("No route to host")};
    case WinsockError::HostNotFound:
        return {n, QStringLiteral("Host not found")};
    case WinsockError::TryAgain:
        return {n, QStringLiteral("Temporary failure in name resolution")};
    case WinsockError::OffLine:
        return {n, QStringLiteral("No network connection")};
    case WinsockError::InvalidState:
        return {n, QStringLiteral("Invalid operation at current state")};
    }
    return {n, QString()};
}

diag::Failure failureFromErrno(int error, bool loopbackDestination)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return socketFailure(WinsockError::PermissionDenied);
    case EINVAL:
    case EFAULT:
        return socketFailure(WinsockError::InvalidArgument);
    case EMFILE:
    case ENFILE:
        return socketFailure(WinsockError::TooManyOpenFiles);
    case EAFNOSUPPORT:
    case EPROTONOSUPPORT:
        return socketFailure(WinsockError::AddressFamilyNotSupported);
    case EADDRINUSE:
        return socketFailure(WinsockError::AddressInUse);
    case EADDRNOTAVAIL:
        return socketFailure(WinsockError::AddressNotAvailable);
    case ENETUNREACH:
    case ENETDOWN:
        return socketFailure(loopbackDestination ? WinsockError::NetworkUnreachable : WinsockError::OffLine);
    case ECONNRESET:
        return socketFailure(WinsockError::ConnectionReset);
    case ENOBUFS:
    case ENOMEM:
        return socketFailure(WinsockError::NoBufferSpace);
    case ETIMEDOUT:
        return socketFailure(WinsockError::TimedOut);
    case ECONNREFUSED:
        return socketFailure(WinsockError::ConnectionRefused);
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return socketFailure(WinsockError::HostUnreachable);
    default:
        return {static_cast<int>(WinsockError::InvalidArgument),
                QString::fromLocal8Bit(std::strerror(error))};
    }
}

diag::Failure failureFromLookup(QHostInfo::HostInfoError error)
{
    return socketFailure(error == QHostInfo::HostNotFound ? WinsockError::HostNotFound
                                                          : WinsockError::TryAgain);
}

} // namespace vindel::platform
