#pragma once

#include "settings/ConfigKeys.h"
#include "settings/SecretStore.h"

#include <QObject>
#include <QPointer>

namespace vindel::platform {

// The password in the desktop keyring, through the Secret Service's D-Bus
// interface (org.freedesktop.secrets: gnome-keyring, KeePassXC, Plasma's
// wallet) spoken over Qt D-Bus. Every call is asynchronous and has a time
// limit, and so has the keyring's prompt to unlock it; each request answers
// once, later, on the event thread. Never falls back to a file of its own:
// where no keyring answers, the settings file keeps the password.
//
// The item is the one earlier versions stored (the same attributes, label
// and collection), so a password kept by them is found and replaced, and no
// other program's item is ever read or touched. On Plasma those versions kept
// it in the wallet's own interface instead: with no item in the keyring, a
// read looks there (reading only), and a password found is copied into the
// keyring, where later starts find it.
class KeychainSecretStore : public settings::SecretStore {
public:
    explicit KeychainSecretStore(QString service = QStringLiteral("Vindel"),
                                 QString key = settings::keyOf(&settings::ConfigRecord::PassWord));

    void read(std::function<void(settings::SecretAnswer, const QString& secret)> done) override;
    void write(const QString& secret, std::function<void(settings::SecretAnswer)> done) override;

private:
    QString m_service;
    QString m_key;
    QObject m_requests;       // the requests under way; they end, unanswered, with the store
    QPointer<QObject> m_copy; // a copy of the wallet's password into the keyring, while under way
    int m_writes = 0;
};

} // namespace vindel::platform
