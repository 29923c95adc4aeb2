#pragma once

#include "settings/SettingsStore.h"

#include <QString>

namespace vindel::platform {

// The per-user settings store as INI files: application "App" lives in
// <folder>/App/App.conf, a section is an INI group ([Config]) and every value
// is kept as text exactly as given. The folder is the user's configuration
// folder ($XDG_CONFIG_HOME, usually ~/.config) unless one is given.
//
// The file holds the mail password in plain text, so it is kept private:
// folders this store creates are owner-only (0700), the file is created
// owner-only (0600), and an existing folder or file is tightened to the
// owner's bits whenever the store opens it.
//
// Every save rewrites the whole file through a new file that replaces the old
// one in a single rename (QSettings writes through QSaveFile), so the file is
// always either the one before the save or the one after it, even when the
// process is killed in the middle. saveAll() puts several values into one
// such rewrite.
class IniSettingsStore : public settings::SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString& folder);

    QString get(const QString& app, const QString& section, const QString& key) const override;
    bool save(const QString& app, const QString& section, const QString& key, const QString& value) override;
    bool saveAll(const QString& app, const QString& section,
                 const QList<QPair<QString, QString>>& values) override;

    // Where the settings of an application are stored.
    QString filePath(const QString& app) const;

private:
    QString m_folder;
};

} // namespace vindel::platform
