#pragma once

#include "diag/Failure.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

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
    // Why the store will neither read nor write the settings of an
    // application (they lie where someone else controls them), or nothing
    // when it will.
    virtual std::optional<diag::Failure> refusal(const QString& app) const
    {
        Q_UNUSED(app);
        return std::nullopt;
    }
    // The bytes that stand for a value: the stored bytes when the value is
    // still the text that was read for the key (a store keeps bytes that are
    // not valid UTF-8 as they were), otherwise the text in UTF-8.
    virtual QByteArray storedBytes(const QString& app, const QString& section, const QString& key,
                                   const QString& text) const
    {
        Q_UNUSED(app);
        Q_UNUSED(section);
        Q_UNUSED(key);
        return text.toUtf8();
    }
};

} // namespace vindel::settings
