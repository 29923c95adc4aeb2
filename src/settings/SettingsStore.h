#pragma once

#include "diag/Failure.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace vindel::settings {

// The per-user settings store: text values by key, in the program's own
// section of its own file.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or the empty text when anything is absent.
    virtual QString get(const QString& key) const = 0;
    // Writes the values together, all or nothing, so that a reader (or the
    // next run, after a crash) sees either the old values or the new ones,
    // never a mix; true when they are durable.
    virtual bool saveAll(const QList<QPair<QString, QString>>& values) = 0;
    // Why the store will neither read nor write the settings (they lie where
    // someone else controls them), or nothing when it will.
    virtual std::optional<diag::Failure> refusal() const { return std::nullopt; }
    // The bytes that stand for a value: the stored bytes when the value is
    // still the text that was read for the key (a store keeps bytes that are
    // not valid UTF-8 as they were), otherwise the text in UTF-8.
    virtual QByteArray storedBytes(const QString& key, const QString& text) const
    {
        Q_UNUSED(key);
        return text.toUtf8();
    }
};

} // namespace vindel::settings
