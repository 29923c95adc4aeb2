// Loading and saving the settings, and the configuration dialog's rules.
#include "Fakes.h"
#include "settings/ConfigForm.h"

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

class Config : public ::testing::Test {
protected:
    std::optional<diag::Failure> load() { return config.loadConfig(); }

    Journal journal;
    settings::Globals globals;
    MemorySettingsStore store;
    FakeStatusWindow window{journal};
    settings::ConfigStore config{globals, store, window};
};

TEST_F(Config, AnEmptyStoreGivesDefaultsAndACentredWindow)
{
    EXPECT_FALSE(load());
    const settings::ConfigRecord& r = globals.config;
    EXPECT_EQ(r, (settings::ConfigRecord{"", "", "", "", 10, 0, 0, false, "", false}));
    EXPECT_EQ(window.left, (19200 - 2190) / 2);
    EXPECT_EQ(window.top, (15360 - 315) / 2);
    EXPECT_EQ(journal, Journal{"topmost 0"});
    EXPECT_TRUE(window.visible);
    EXPECT_TRUE(store.writes.isEmpty()); // loading never writes
}

TEST_F(Config, OnlyOneStoredPositionCentresAndKeepsTheRecord)
{
    globals.config.PosLeft = 77;
    store.put("PosLeft", "1000");
    EXPECT_FALSE(load());
    EXPECT_EQ(globals.config.PosLeft, 77);
    EXPECT_EQ(window.left, (19200 - 2190) / 2);
}

TEST_F(Config, StoredPositionsAreKeptOnScreen)
{
    store.put("PosLeft", "-300");
    store.put("PosTop", "20000");
    EXPECT_FALSE(load());
    EXPECT_EQ(globals.config.PosLeft, -300); // kept until shut-down replaces it
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 15360 - 315);

    store.put("PosLeft", "19200"); // exactly the screen width: used as it is
    store.put("PosTop", " 450 ");
    EXPECT_FALSE(load());
    EXPECT_EQ(window.left, 19200);
    EXPECT_EQ(window.top, 450);
}

TEST_F(Config, OnlyTheExactWordTrueIsTrue)
{
    for (const QString text : {"TRUE", "true", " True", "-1", "1"}) {
        store.put("TopMost", text);
        store.put("MailCountReset", text);
        EXPECT_FALSE(load());
        EXPECT_FALSE(globals.config.TopMost) << text.toStdString();
        EXPECT_FALSE(globals.config.MailCountReset);
        EXPECT_FALSE(window.topMost);
    }
    store.put("TopMost", "True");
    store.put("MailCountReset", "True");
    EXPECT_FALSE(load());
    EXPECT_TRUE(globals.config.TopMost);
    EXPECT_TRUE(window.topMost);
    EXPECT_TRUE(globals.config.MailCountReset);
}

TEST_F(Config, NumbersAreConvertedWithoutRangeChecksButMustFit)
{
    const std::pair<QString, qint16> accepted[] = {{"0", 0},   {"250", 250}, {"-5", -5},      {" 7 ", 7},
                                                   {"2.5", 2}, {"3.5", 4},   {"32767", 32767}};
    for (const auto& [text, value] : accepted) {
        store.put("Interval", text);
        EXPECT_FALSE(load()) << text.toStdString();
        EXPECT_EQ(globals.config.Interval, value) << text.toStdString();
    }

    store.put("UserName", "bob");
    store.put("Pop3Server", "pop.example.test");
    store.put("MailerPath", "mailer");
    globals.config.MailerPath = "before";
    store.put("Interval", "ten");
    EXPECT_EQ(load(), (diag::Failure{13, "Type mismatch"}));
    EXPECT_EQ(globals.config.UserName, "bob"); // read before the failing key
    EXPECT_EQ(globals.config.MailerPath, "before");
    store.put("Interval", "32768");
    EXPECT_EQ(load(), (diag::Failure{6, "Overflow"}));

    store.put("Interval", "10");
    store.put("PosLeft", "3000000000");
    store.put("PosTop", "0");
    EXPECT_EQ(load(), (diag::Failure{6, "Overflow"}));
}

TEST_F(Config, SaveWritesTheTenKeysInOrderAndLoadReadsTheSameRecord)
{
    globals.config = {"/usr/bin/mailer -x", "bob", "p,w=d;[x]", "[::1]:8110", 25, -100, 2000, true,
                      "/tmp/a b.wav",       false};
    config.saveConfig();
    EXPECT_EQ(store.writes, (QStringList{"UserName", "PassWord", "Pop3Server", "Interval", "MailerPath",
                                         "SoundPath", "PosLeft", "PosTop", "TopMost", "MailCountReset"}));
    EXPECT_EQ(store.batches, 1); // one batch keeps the stored record whole
    EXPECT_EQ(store.stored("TopMost"), "True");
    EXPECT_EQ(store.stored("MailCountReset"), "False");
    EXPECT_EQ(store.stored("PosLeft"), "-100");
    const settings::ConfigRecord saved = globals.config;
    globals.config = {};
    EXPECT_FALSE(load());
    EXPECT_EQ(globals.config, saved);
}

TEST_F(Config, AFailingWriteIsSkippedAndTheRestStillWritten)
{
    store.failingKeys = {"Interval"};
    globals.config.SoundPath = "/x.wav";
    config.saveConfig();
    EXPECT_EQ(store.writes.size(), 10);
    EXPECT_EQ(store.stored("SoundPath"), "/x.wav");
}

class Form : public Config {
protected:
    bool ok(const QString& interval)
    {
        fields.interval = interval;
        boxShown.clear();
        journal.clear();
        return settings::acceptConfigForm(fields, globals, config, warn,
                                          [this](const QString& text) { boxShown = text; });
    }
    settings::ConfigFormFields fields{"alice", "pw", "pop.example.test", "10", "", "", false};
    FakeMessageBoxes messages{journal};
    settings::Warn warn = [this](const QString& text) {
        messages.show(text, shell::MessageStyle::Exclamation);
    };
    QString boxShown;
};

TEST_F(Form, TheIntervalRuleAcceptsOneToNinetyNine)
{
    const std::pair<QString, qint16> accepted[] = {{"1", 1}, {"99", 99}, {"42", 42}, {" 7", 7}};
    for (const auto& [text, value] : accepted) {
        EXPECT_TRUE(ok(text));
        EXPECT_EQ(globals.config.Interval, value);
        EXPECT_TRUE(journal.isEmpty()) << text.toStdString();
    }
    for (const QString text : {"", "0", "05", "00", "7a", "a"}) {
        EXPECT_TRUE(ok(text));
        EXPECT_EQ(boxShown, "10") << text.toStdString();
        EXPECT_EQ(globals.config.Interval, 10);
        EXPECT_EQ(journal, Journal{"message 48 Interval は10分（ﾃﾞﾌｫﾙﾄ値）に設定されました。"});
    }
}

TEST_F(Form, ALineBreakOrNulInTheUserNameOrPasswordIsRefusedAndChangesNothing)
{
    // Either would end the POP3 command the value is sent in and start another.
    for (const QString& bad : {QString("\r\nDELE 1"), QString("a\nb"), QString("a\r"), QString(QChar(0))}) {
        for (const bool inPassword : {false, true}) {
            settings::ConfigFormFields form = fields;
            (inPassword ? form.passWord : form.userName) += bad;
            journal.clear();
            EXPECT_FALSE(settings::acceptConfigForm(form, globals, config, warn, {}));
            EXPECT_EQ(journal,
                      Journal{inPassword ? "message 48 ﾊﾟｽﾜｰﾄﾞに使えない文字（改行など）が含まれています。"
                                         : "message 48 ﾕｰｻﾞ名に使えない文字（改行など）が含まれています。"});
            EXPECT_EQ(globals.config, settings::ConfigRecord{});
            EXPECT_FALSE(globals.ConfigChanged);
            EXPECT_TRUE(store.writes.isEmpty());
        }
    }
    fields.passWord = "tab\tand blanks "; // other characters go as they are
    EXPECT_TRUE(ok("5"));
    EXPECT_EQ(globals.config.PassWord, "tab\tand blanks ");
}

TEST_F(Form, TheKeyboardFilterPassesDigitsAndBackspaceOnly)
{
    for (char c : QByteArray("0123456789"))
        EXPECT_TRUE(settings::intervalKeyAccepted(QChar(c)));
    EXPECT_TRUE(settings::intervalKeyAccepted(QChar(8)));
    for (char c : QByteArray(" a-+.\t\r"))
        EXPECT_FALSE(settings::intervalKeyAccepted(QChar(c)));
    EXPECT_FALSE(settings::intervalKeyAccepted(QChar(0xFF11))); // full-width one
}

} // namespace
} // namespace vindel::test
