#pragma once

#include "settings/ConfigRecord.h"

#include <QString>

#include <functional>

namespace vindel::settings {

class ConfigStore;

// The contents of the configuration dialog's boxes.
struct ConfigFormFields {
    QString userName;
    QString passWord;
    QString pop3Server;
    QString interval;
    QString mailerPath;
    QString soundPath;
    bool mailCountReset = false;
};

ConfigFormFields formFromRecord(const ConfigRecord& record);

// Keyboard filter of the interval box: the digits and Backspace pass.
bool intervalKeyAccepted(QChar typed);

// The interval rule: the text without surrounding blanks must sort, as text,
// neither after "99" nor before "1", and be a whole number.
bool intervalRuleAccepts(const QString& text);

// The dialog's OK. Refuses an empty user name, and a user name or password
// holding CR, LF or NUL, with a message (returns false: the dialog stays
// open, nothing changed). Otherwise copies the boxes into the record,
// replaces an interval the rule refuses by "10" (calling intervalBoxChanged,
// then showing the message), saves all ten settings and flags the record as
// changed; returns true (the dialog closes).
// warn shows a message with the exclamation icon and returns once the user
// has read it.
using Warn = std::function<void(const QString&)>;
bool acceptConfigForm(ConfigFormFields& fields, Globals& globals, ConfigStore& store, const Warn& warn,
                      const std::function<void(const QString&)>& intervalBoxChanged);

} // namespace vindel::settings
