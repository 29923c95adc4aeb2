#pragma once

#include "settings/ConfigRecord.h"

#include <QString>

#include <array>

namespace vindel::settings {

// How a setting is kept as text, and what it is in the record.
enum class KeyKind {
    Text,    // stored as it is
    Minutes, // 16-bit whole number; empty means 10
    Twips,   // 32-bit whole number; both edges or neither (centred)
    Flag,    // "True" or "False"; anything else reads as false
};

// One stored setting: its key, its kind and its field in the record. The
// table below is the one list of the ten settings, in the order they are
// read and written.
struct ConfigKey {
    const char* name;
    KeyKind kind;
    QString ConfigRecord::*text = nullptr;
    qint16 ConfigRecord::*minutes = nullptr;
    qint32 ConfigRecord::*twips = nullptr;
    bool ConfigRecord::*flag = nullptr;

    QString key() const { return QString::fromLatin1(name); }
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

// The text a setting is written as.
QString storedText(const ConfigRecord& record, const ConfigKey& key);

} // namespace vindel::settings
