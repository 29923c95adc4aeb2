#pragma once

#include "settings/ConfigRecord.h"

#include <QString>

#include <array>

namespace vindel::settings {

// How a setting is kept as text, and what it is in the record.
enum class KeyKind {
    Text,    // stored as it is
    Minutes, // 16-bit whole number; empty means defaultInterval
    Twips,   // 32-bit whole number; both edges or neither (centred)
    Flag,    // "True" or "False"; anything else reads as false
};

// One stored setting: its key, its kind and its field in the record. The
// table below is the one list of the ten settings, in the order they are
// read and written, and the only place their keys are spelled.
struct ConfigKey {
    const char* name;
    KeyKind kind;
    QString ConfigRecord::*text = nullptr;
    qint16 ConfigRecord::*minutes = nullptr;
    qint32 ConfigRecord::*twips = nullptr;
    bool ConfigRecord::*flag = nullptr;

    QString key() const { return QString::fromLatin1(name); }
    bool holds(QString ConfigRecord::*field) const { return text == field; }
    bool holds(qint16 ConfigRecord::*field) const { return minutes == field; }
    bool holds(qint32 ConfigRecord::*field) const { return twips == field; }
    bool holds(bool ConfigRecord::*field) const { return flag == field; }
};

inline constexpr std::array<ConfigKey, 10> configKeys{{
    {"UserName", KeyKind::Text, &ConfigRecord::UserName},
    {"PassWord", KeyKind::Text, &ConfigRecord::PassWord},
    {"Pop3Server", KeyKind::Text, &ConfigRecord::Pop3Server},
    {"Interval", KeyKind::Minutes, nullptr, &ConfigRecord::Interval},
    {"MailerPath", KeyKind::Text, &ConfigRecord::MailerPath},
    {"SoundPath", KeyKind::Text, &ConfigRecord::SoundPath},
    {"PosLeft", KeyKind::Twips, nullptr, nullptr, &ConfigRecord::PosLeft},
    {"PosTop", KeyKind::Twips, nullptr, nullptr, &ConfigRecord::PosTop},
    {"TopMost", KeyKind::Flag, nullptr, nullptr, nullptr, &ConfigRecord::TopMost},
    {"MailCountReset", KeyKind::Flag, nullptr, nullptr, nullptr, &ConfigRecord::MailCountReset},
}};

inline constexpr qint16 defaultInterval = 10;

// Beside the ten: "True" while the keyring holds the password and the file
// holds it empty.
inline constexpr const char* inKeyringKey = "PassWordInKeyring";

// The key of a field of the record.
template <typename Field> QString keyOf(Field ConfigRecord::*field)
{
    for (const ConfigKey& key : configKeys)
        if (key.holds(field))
            return key.key();
    return {};
}

// A flag's text form; anything but "True" reads as false.
inline QString flagText(bool flag)
{
    return flag ? QStringLiteral("True") : QStringLiteral("False");
}
inline bool flagFromText(const QString& text)
{
    return text == QLatin1String("True");
}

// The text a setting is written as.
QString storedText(const ConfigRecord& record, const ConfigKey& key);

} // namespace vindel::settings
