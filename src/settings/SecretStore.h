#pragma once

#include <QString>

#include <functional>

namespace vindel::settings {

// How the keyring answered a request.
enum class SecretAnswer {
    Done,      // read or written
    NotFound,  // nothing is stored under the key (a read)
    NoKeyring, // no keyring answers on this desktop (none installed, no session bus)
    Refused,   // the keyring answered, but refused or failed (locked and the user declined, an error)
};

// The desktop keyring, holding one secret: the password. It answers later,
// once per request, on the event thread; a request never blocks.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual void read(std::function<void(SecretAnswer, const QString& secret)> done) = 0;
    virtual void write(const QString& secret, std::function<void(SecretAnswer)> done) = 0;
};

} // namespace vindel::settings
