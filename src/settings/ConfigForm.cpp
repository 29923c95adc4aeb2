#include "settings/ConfigForm.h"

#include "settings/ConfigKeys.h"
#include "settings/ConfigStore.h"

#include <QCoreApplication>

namespace vindel::settings {
namespace {
// A line break or NUL would end the POP3 command the value is sent in and
// start another one.
bool endsALine(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}
} // namespace

ConfigFormFields formFromRecord(const ConfigRecord& record)
{
    return {record.UserName,   record.PassWord,  record.Pop3Server,    QString::number(record.Interval),
            record.MailerPath, record.SoundPath, record.MailCountReset};
}

bool intervalKeyAccepted(QChar typed)
{
    return (typed >= u'0' && typed <= u'9') || typed == QChar(8);
}

bool intervalRuleAccepts(const QString& text)
{
    const QString trimmed = text.trimmed();
    // Compared as text: "1" <= trimmed <= "99", which for two digits means
    // 1 to 99 without a leading zero.
    if (QString::compare(trimmed, QStringLiteral("99")) > 0 ||
        QString::compare(trimmed, QStringLiteral("1")) < 0)
        return false;
    // Pasted text such as "7a" sorts inside the range but is no number.
    bool ok = false;
    trimmed.toShort(&ok);
    return ok;
}

bool acceptConfigForm(ConfigFormFields& fields, Globals& globals, ConfigStore& store, const Warn& warn,
                      const std::function<void(const QString&)>& intervalBoxChanged)
{
    if (fields.userName.isEmpty()) {
        warn(QCoreApplication::translate("ConfigDialog", "ﾕｰｻﾞ名を入力してください。"));
        return false;
    }
    if (endsALine(fields.userName)) {
        warn(QCoreApplication::translate("ConfigDialog",
                                         "ﾕｰｻﾞ名に使えない文字（改行など）が含まれています。"));
        return false;
    }
    if (endsALine(fields.passWord)) {
        warn(QCoreApplication::translate("ConfigDialog",
                                         "ﾊﾟｽﾜｰﾄﾞに使えない文字（改行など）が含まれています。"));
        return false;
    }
    ConfigRecord& config = globals.config;
    config.UserName = fields.userName;
    config.PassWord = fields.passWord;
    config.Pop3Server = fields.pop3Server;
    config.MailCountReset = fields.mailCountReset;

    if (!intervalRuleAccepts(fields.interval)) {
        fields.interval = QString::number(defaultInterval);
        if (intervalBoxChanged)
            intervalBoxChanged(fields.interval);
        warn(QCoreApplication::translate("ConfigDialog", "Interval は10分（ﾃﾞﾌｫﾙﾄ値）に設定されました。"));
    }
    config.Interval = fields.interval.trimmed().toShort();

    config.MailerPath = fields.mailerPath;
    config.SoundPath = fields.soundPath;
    store.saveConfig();
    globals.ConfigChanged = true;
    return true;
}

} // namespace vindel::settings
