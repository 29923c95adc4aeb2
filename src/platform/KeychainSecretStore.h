#pragma once

#include "settings/SecretStore.h"

namespace vindel::platform {

// The password in the desktop keyring (the Secret Service or KWallet),
// through QtKeychain's asynchronous jobs. Never falls back to a plain file
// of its own: where no keyring answers, the settings file keeps the password.
class KeychainSecretStore : public settings::SecretStore {
public:
    explicit KeychainSecretStore(QString service = QStringLiteral("Vindel"),
                                 QString key = QStringLiteral("PassWord"));

    void read(std::function<void(settings::SecretAnswer, const QString& secret)> done) override;
    void write(const QString& secret, std::function<void(settings::SecretAnswer)> done) override;

private:
    QString m_service;
    QString m_key;
};

} // namespace vindel::platform
