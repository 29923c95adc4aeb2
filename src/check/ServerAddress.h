#pragma once

#include <QString>

namespace vindel::check {

// Where a check connects. The setting holds a host name or address, and may
// name a port as "host:port" or "[IPv6 address]:port"; otherwise port 110.
struct ServerAddress {
    QString host;
    quint16 port = 110;
    bool operator==(const ServerAddress&) const = default;
};

ServerAddress parseServerAddress(const QString& setting);

} // namespace vindel::check
