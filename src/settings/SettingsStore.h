#pragma once

#include <QList>
#include <QPair>
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
    // Writes several values of one section together. A store that can should
    // make it all or nothing, so that a reader (or the next run, after a
    // crash) sees either the old values or the new ones, never a mix. This
    // one saves the values one by one in order and skips a failing one; it
    // returns true when every value was written.
    virtual bool saveAll(const QString& app, const QString& section,
                         const QList<QPair<QString, QString>>& values)
    {
        bool all = true;
        for (const auto& [key, value] : values)
            all = save(app, section, key, value) && all;
        return all;
    }
};

} // namespace vindel::settings
