#pragma once

#include "diag/Failure.h"
#include "settings/ConfigRecord.h"
#include "settings/SettingsStore.h"
#include "settings/WindowPlacement.h"

#include <optional>

namespace vindel::settings {

// Loads the ten settings into the record and applies the three that concern
// the status window; saves the record back.
class ConfigStore {
public:
    ConfigStore(Globals& globals, SettingsStore& store, WindowPlacement& window);

    // Reads every key in order, places the window and applies "always in
    // front". A stored number that cannot be converted stops the load at that
    // key with the conversion failure; fields read before keep their values.
    // A store that refuses the settings (SettingsStore::refusal) fails the
    // load before anything is read.
    std::optional<diag::Failure> loadConfig();

    // Writes all ten keys in order as one batch (SettingsStore::saveAll); a
    // failure is not reported.
    void saveConfig();

    // The bytes the user name and the password go to the server as: the
    // stored bytes while the record holds the text read from them (so a
    // password that is not valid UTF-8 is sent as it was stored), otherwise
    // the record's text in UTF-8.
    QByteArray userNameBytes() const;
    QByteArray passWordBytes() const;

private:
    QString read(const QString& key) const;
    std::optional<diag::Failure> placeWindow();

    Globals& m_globals;
    SettingsStore& m_store;
    WindowPlacement& m_window;
};

} // namespace vindel::settings
