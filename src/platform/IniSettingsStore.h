#pragma once

#include "settings/SettingsStore.h"

#include <QHash>
#include <QString>

namespace vindel::platform {

// The per-user settings store as an INI file: <folder>/Vindel/Vindel.conf,
// its values in the group [Config], every value kept as text exactly as
// given. The folder is the user's configuration
// folder ($XDG_CONFIG_HOME, usually ~/.config) unless one is given.
//
// The file goes through QSettings, in a format registered here that speaks
// QSettings' own INI dialect (quotes, backslash escapes, "@@" for a leading
// "@") with two differences: a line is always one line (a stray quote never
// runs on into the next), and a value is kept as the bytes it was read as,
// valid UTF-8 or not, so that a value not changed since it was read is
// written back, and sent (storedBytes()), byte for byte. A save writes the
// given keys after the header of their section in the order given and keeps
// every other line of the file (other keys and sections, comments) as it is.
//
// QSettings takes the lock ("Vindel.conf.lock", a QLockFile) and writes through
// QSaveFile: a new file put in place with one rename, so a kill in the middle
// of a save leaves the old file or the new one. saveAll() puts several values
// into one such rewrite.
//
// The file holds the mail password in plain text, so it is kept private:
// folders this store creates are owner-only (0700), the file is created
// owner-only (0600), and an existing folder or file is tightened to the
// owner's bits whenever the store looks at it. A folder or file that belongs
// to another user, and a settings file that is not a plain file (a symbolic
// link, a pipe, a device), is neither read nor written: refusal() says why.
// The look comes before QSettings opens the file by its name; between the
// two, only the user's own processes can put something else in its place,
// because the folder is theirs and closed to everyone else.
class IniSettingsStore : public settings::SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString& folder);

    QString get(const QString& key) const override;
    bool saveAll(const QList<QPair<QString, QString>>& values) override;
    std::optional<diag::Failure> refusal() const override;
    QByteArray storedBytes(const QString& key, const QString& text) const override;

    // Where the settings are stored.
    QString filePath() const;

private:
    QString m_folder;
    // The bytes each value was last read or written as, by key.
    mutable QHash<QString, QByteArray> m_bytes;
};

} // namespace vindel::platform
