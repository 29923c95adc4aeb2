#pragma once

#include <QString>

namespace vindel::settings {

// The per-user settings store: text values by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or the empty text when anything is absent.
    virtual QString get(const QString& app, const QString& section, const QString& key) const = 0;
    // Creates or replaces a value; durable when it returns true.
    virtual bool save(const QString& app, const QString& section, const QString& key,
                      const QString& value) = 0;
};

} // namespace vindel::settings
