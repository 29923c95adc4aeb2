#pragma once

#include <QString>
#include <QtGlobal>

namespace vindel::settings {

// The ten user settings, held in memory for the whole run.
struct ConfigRecord {
    QString MailerPath;
    QString UserName;
    QString PassWord;
    QString Pop3Server;
    qint16 Interval = 0; // minutes between checks
    qint32 PosLeft = 0;  // twips
    qint32 PosTop = 0;   // twips
    bool TopMost = false;
    QString SoundPath;
    bool MailCountReset = false;

    bool operator==(const ConfigRecord&) const = default;
};

// The shared flags that travel with the record.
struct Globals {
    ConfigRecord config;
    bool ConfigChanged = false; // the dialog stored settings the next check must re-read
};

} // namespace vindel::settings
