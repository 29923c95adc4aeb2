#pragma once

#include "settings/SettingsStore.h"

#include <QHash>
#include <QString>

namespace vindel::platform {

// The per-user settings store as INI files: application "App" lives in
// <folder>/App/App.conf, a section is an INI group ([Config]) and every value
// is kept as text exactly as given. The folder is the user's configuration
// folder ($XDG_CONFIG_HOME, usually ~/.config) unless one is given.
//
// The file is read and written here, in the INI dialect of QSettings (quotes,
// backslash escapes, "@@" for a leading "@"), so that files written before
// stay readable and the other way round. A save writes the given keys at the
// top of their section in the order given and keeps every other line of the
// file (other keys and sections, comments) as it was. A value whose text was
// not changed since it was read is written back byte for byte, even where
// those bytes are not valid UTF-8 (storedBytes() hands them out too).
//
// The file holds the mail password in plain text, so it is kept private:
// folders this store creates are owner-only (0700), the file is written
// owner-only (0600), and an existing folder or file is tightened to the
// owner's bits whenever the store opens it. A folder or file that belongs to
// another user, and a settings file that is not a plain file (a symbolic
// link, a pipe, a device), is neither read nor written: refusal() says why.
// Nothing here can block on a pipe.
//
// Every save writes a new private file beside the old one (created afresh,
// never through a link) and puts it in place with a single rename, so the
// file is always either the one before the save or the one after it, even
// when the process is killed in the middle; the next save removes a new file
// such a kill left behind. saveAll() puts several values into one such
// rewrite.
class IniSettingsStore : public settings::SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString& folder);

    QString get(const QString& app, const QString& section, const QString& key) const override;
    bool save(const QString& app, const QString& section, const QString& key, const QString& value) override;
    bool saveAll(const QString& app, const QString& section,
                 const QList<QPair<QString, QString>>& values) override;
    std::optional<diag::Failure> refusal(const QString& app) const override;
    QByteArray storedBytes(const QString& app, const QString& section, const QString& key,
                           const QString& text) const override;

    // Where the settings of an application are stored.
    QString filePath(const QString& app) const;

private:
    QString m_folder;
    // The bytes each value was last read or written as, by app, section and key.
    mutable QHash<QString, QByteArray> m_bytes;
};

} // namespace vindel::platform
