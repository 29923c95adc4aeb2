#include "settings/ConfigStore.h"

#include "diag/Failures.h"
#include "settings/ConfigKeys.h"

#include <cmath>
#include <limits>
#include <variant>

namespace vindel::settings {
namespace {

// Converts stored text to a whole number of the field's width: blanks around
// it are ignored and a fraction is rounded to the nearest, halves to even.
template <typename Int> std::variant<Int, diag::Failure> toInteger(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || std::isnan(value))
        return diag::failures::TypeMismatch();
    const double rounded = std::nearbyint(value); // the default mode rounds halves to even
    if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max())
        return diag::failures::Overflow();
    return static_cast<Int>(rounded);
}

// Half of a difference in twips, dropping the remainder toward zero.
int centred(int screen, int window)
{
    return (screen - window) / 2;
}

// A stored edge beyond the screen puts the window against the screen's far
// edge, a negative one at 0; an edge exactly at the screen's size is kept.
int onScreen(qint32 stored, int screen, int window)
{
    if (stored > screen)
        return screen - window;
    return stored < 0 ? 0 : stored;
}

} // namespace

QString storedText(const ConfigRecord& record, const ConfigKey& key)
{
    switch (key.kind) {
    case KeyKind::Text:
        return record.*key.text;
    case KeyKind::Minutes:
        return QString::number(record.*key.minutes);
    case KeyKind::Twips:
        return QString::number(record.*key.twips);
    case KeyKind::Flag:
        break;
    }
    return flagText(record.*key.flag);
}

ConfigStore::ConfigStore(Globals& globals, SettingsStore& store, SecretStore* secrets)
    : m_globals(globals), m_store(store), m_secrets(secrets)
{
}

QString ConfigStore::read(const QString& key) const
{
    return m_store.get(key);
}

std::optional<diag::Failure> ConfigStore::loadConfig(WindowPlacement& window)
{
    if (auto refused = m_store.refusal())
        return refused;
    ConfigRecord& config = m_globals.config;
    for (const ConfigKey& key : configKeys) {
        switch (key.kind) {
        case KeyKind::Text:
            config.*key.text = key.text == &ConfigRecord::PassWord ? loadPassWord() : read(key.key());
            break;
        case KeyKind::Minutes: {
            const QString text = read(key.key());
            if (text.isEmpty()) {
                config.*key.minutes = defaultInterval;
                break;
            }
            const auto converted = toInteger<qint16>(text);
            if (const auto* failure = std::get_if<diag::Failure>(&converted))
                return *failure;
            config.*key.minutes = std::get<qint16>(converted);
            break;
        }
        case KeyKind::Twips:
            // The two edges place the window together, at the first of them.
            if (key.twips == &ConfigRecord::PosLeft)
                if (auto failure = placeWindow(window))
                    return failure;
            break;
        case KeyKind::Flag:
            config.*key.flag = flagFromText(read(key.key()));
            break;
        }
    }
    moveToKeyring(); // a password found in the file
    return std::nullopt;
}

QString ConfigStore::loadPassWord()
{
    const QString inFile = read(keyOf(&ConfigRecord::PassWord));
    m_awaited = false;
    if (!m_secrets || !inFile.isEmpty() || !flagFromText(read(QLatin1String(inKeyringKey))))
        return inFile; // the file holds the password, or there is none
    if (m_inKeyring)
        return *m_inKeyring;
    if (!m_globals.config.PassWord.isEmpty())
        return m_globals.config.PassWord; // a reload: the password in memory is the one meant
    m_awaited = true;                     // the keyring holds it; fetchPassword() asks for it
    return QString();
}

void ConfigStore::fetchPassword(std::function<void(bool known)> done)
{
    if (!m_awaited) {
        done(true);
        return;
    }
    m_secrets->read([this, done = std::move(done)](SecretAnswer answer, const QString& secret) {
        if (!m_awaited) {
            done(true); // the user gave a new password meanwhile: that one counts
            return;
        }
        // Only the password itself ends the wait. A keyring that is late
        // says there is none; a locked one whose unlocking was declined says
        // "not found" too, though the password is in it.
        if (answer != SecretAnswer::Done) {
            done(false);
            return;
        }
        m_awaited = false;
        m_inKeyring = secret;
        m_globals.config.PassWord = secret;
        done(true);
    });
}

void ConfigStore::moveToKeyring()
{
    if (!m_secrets || m_awaited || m_writing)
        return; // a write under way looks again when it is answered
    const QString password = m_globals.config.PassWord;
    // No password needs no keyring: the file says "none" by itself (and a
    // locked keyring is not made to ask for its unlocking for nothing).
    if (password.isEmpty() || m_inKeyring == password || m_refused == password)
        return;
    if (passWordBytes() != password.toUtf8())
        return; // bytes that are not UTF-8 would not come back from the keyring as they are
    m_writing = true;
    m_secrets->write(password, [this, password](SecretAnswer answer) {
        m_writing = false;
        if (answer == SecretAnswer::Done) {
            m_inKeyring = password;
            m_refused.reset();
        } else {
            m_inKeyring.reset(); // what the keyring holds now is unknown: the file keeps the password
            m_refused = password;
        }
        if (answer == SecretAnswer::Done && m_globals.config.PassWord == password)
            saveConfig(); // now the file's copy may go
        else
            moveToKeyring(); // the password changed while the keyring was busy
    });
}

std::optional<diag::Failure> ConfigStore::placeWindow(WindowPlacement& window)
{
    ConfigRecord& config = m_globals.config;
    const int screenWidth = window.screenWidth;
    const int screenHeight = window.screenHeight;
    const int width = window.windowWidth;
    const int height = window.windowHeight;

    const QString leftText = read(keyOf(&ConfigRecord::PosLeft));
    const QString topText = read(keyOf(&ConfigRecord::PosTop));
    if (topText.isEmpty() || leftText.isEmpty()) {
        // No stored position: centre, and leave the record's values alone.
        window.top = centred(screenHeight, height);
        window.left = centred(screenWidth, width);
        return std::nullopt;
    }

    const auto left = toInteger<qint32>(leftText);
    if (const auto* failure = std::get_if<diag::Failure>(&left))
        return *failure;
    config.PosLeft = std::get<qint32>(left);
    window.left = onScreen(config.PosLeft, screenWidth, width);

    const auto top = toInteger<qint32>(topText);
    if (const auto* failure = std::get_if<diag::Failure>(&top))
        return *failure;
    config.PosTop = std::get<qint32>(top);
    window.top = onScreen(config.PosTop, screenHeight, height);
    return std::nullopt;
}

void ConfigStore::saveConfig()
{
    // One batch, so that the store keeps the record whole: a crash in the
    // middle of a save leaves the old record or the new one, never a mix.
    const QString& password = m_globals.config.PassWord;
    if (m_awaited && !password.isEmpty())
        m_awaited = false; // a new password typed before the keyring answered: the user's counts
    const bool inKeyring = m_secrets && (m_awaited || m_inKeyring == password);
    QList<QPair<QString, QString>> values;
    for (const ConfigKey& key : configKeys) {
        const bool keptElsewhere = inKeyring && key.text == &ConfigRecord::PassWord;
        values.append({key.key(), keptElsewhere ? QString() : storedText(m_globals.config, key)});
    }
    if (m_secrets)
        values.append({QLatin1String(inKeyringKey), flagText(inKeyring)});
    m_store.saveAll(values); // a failed save is not reported
    if (!inKeyring)
        moveToKeyring();
}

QByteArray ConfigStore::userNameBytes() const
{
    return m_store.storedBytes(keyOf(&ConfigRecord::UserName), m_globals.config.UserName);
}

QByteArray ConfigStore::passWordBytes() const
{
    return m_store.storedBytes(keyOf(&ConfigRecord::PassWord), m_globals.config.PassWord);
}

} // namespace vindel::settings
