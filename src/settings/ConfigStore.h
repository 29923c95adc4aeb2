#pragma once

#include "diag/Failure.h"
#include "settings/ConfigRecord.h"
#include "settings/SecretStore.h"
#include "settings/SettingsStore.h"
#include "settings/WindowPlacement.h"

#include <functional>
#include <optional>

namespace vindel::settings {

// Loads the ten settings into the record and works out where the status
// window goes; saves the record back.
//
// With a keyring (SecretStore), the password moves there: the file keeps it
// until the keyring has confirmed holding exactly the record's password, and
// only then is the password written empty, with inKeyringKey "True" beside
// it. Any other answer leaves the password in the file. A password
// stored as bytes that are not UTF-8 stays in the file, byte for byte.
class ConfigStore {
public:
    ConfigStore(Globals& globals, SettingsStore& store, SecretStore* secrets = nullptr);

    // Reads every key in order and places the window within the given sizes
    // (centred while no place is stored). A stored number that cannot be
    // converted stops the load at that key with the conversion failure;
    // fields read before keep their values. A store that refuses the
    // settings (SettingsStore::refusal) fails the load before anything is
    // read.
    std::optional<diag::Failure> loadConfig(WindowPlacement& window);

    // Writes all ten keys in order as one batch (SettingsStore::saveAll); a
    // failure is not reported.
    void saveConfig();

    // The bytes the user name and the password go to the server as: the
    // stored bytes while the record holds the text read from them (so a
    // password that is not valid UTF-8 is sent as it was stored), otherwise
    // the record's text in UTF-8.
    QByteArray userNameBytes() const;
    QByteArray passWordBytes() const;

    // Asks the keyring for an awaited password. done(true) once the record
    // holds the password; done(false) when the keyring did not give it (late,
    // locked, or its entry gone), so the caller asks again later.
    void fetchPassword(std::function<void(bool known)> done);

private:
    QString read(const QString& key) const;
    QString loadPassWord();
    std::optional<diag::Failure> placeWindow(WindowPlacement& window);
    void moveToKeyring();

    Globals& m_globals;
    SettingsStore& m_store;
    SecretStore* m_secrets;
    bool m_awaited = false; // the keyring holds the password and has not given it yet
    bool m_writing = false;
    std::optional<QString> m_inKeyring; // the password the keyring confirmed holding
    std::optional<QString> m_refused;   // the password the keyring last refused to keep
};

} // namespace vindel::settings
