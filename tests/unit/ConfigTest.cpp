// Loading and saving the settings, and the configuration dialog's rules.
#include "Fakes.h"
#include "settings/ConfigForm.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

class Config : public ::testing::Test {
protected:
    std::optional<diag::Failure> load() { return config.loadConfig(window); }

    Journal journal;
    settings::Globals globals;
    MemorySettingsStore store;
    settings::WindowPlacement window{
        .windowWidth = 2190, .windowHeight = 315, .screenWidth = 19200, .screenHeight = 15360};
    settings::ConfigStore config{globals, store};
};

TEST_F(Config, AnEmptyStoreGivesDefaults)
{
    EXPECT_FALSE(load());
    EXPECT_EQ(globals.config, (settings::ConfigRecord{"", "", "", "", 10, 0, 0, false, "", false}));
    EXPECT_TRUE(store.writes.isEmpty()); // loading never writes
}

TEST_F(Config, StoredPositionsPlaceTheWindowOnScreenOrCentreIt)
{
    const int centreLeft = (19200 - 2190) / 2;
    const int centreTop = (15360 - 315) / 2;
    const struct {
        const char* left;
        const char* top;
        int windowLeft;
        int windowTop;
        qint32 recordLeft; // the record keeps the stored value until shut-down replaces it
    } rows[] = {
        {"", "", centreLeft, centreTop, 77}, // none stored (or an empty store): centred, the record untouched
        {"1000", "", centreLeft, centreTop, 77},
        {"-300", "20000", 0, 15360 - 315, -300},
        {"19200", " 450 ", 19200, 450, 19200}, // exactly the screen width: used as it is
    };
    for (const auto& row : rows) {
        globals.config.PosLeft = 77;
        store.put("PosLeft", row.left);
        store.put("PosTop", row.top);
        EXPECT_FALSE(load());
        EXPECT_EQ(window.left, row.windowLeft) << row.left;
        EXPECT_EQ(window.top, row.windowTop) << row.top;
        EXPECT_EQ(globals.config.PosLeft, row.recordLeft) << row.left;
    }
}

TEST_F(Config, OnlyTheExactWordTrueIsTrue)
{
    for (const QString text : {"TRUE", "true", " True", "-1", "1", "True"}) {
        store.put("TopMost", text);
        store.put("MailCountReset", text);
        EXPECT_FALSE(load());
        const bool flag = text == "True";
        EXPECT_EQ(globals.config.TopMost, flag) << text.toStdString();
        EXPECT_EQ(globals.config.MailCountReset, flag);
    }
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

    store.failingKeys = {"Interval"}; // a failing write is skipped, the rest still written
    globals.config.SoundPath = "/x.wav";
    config.saveConfig();
    EXPECT_EQ(store.writes.size(), 20);
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
    settings::Warn warn = [this](const QString& text) { journal << QStringLiteral("message 48 ") + text; };
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

// The password in a keyring: the keyring answers when the test says so.
class FakeKeyring : public settings::SecretStore {
public:
    using Answer = settings::SecretAnswer;
    explicit FakeKeyring(Journal& journal) : m_journal(journal) {}
    void read(std::function<void(Answer, const QString&)> done) override
    {
        m_journal << QStringLiteral("keyring read");
        m_reads.append(std::move(done));
    }
    void write(const QString& secret, std::function<void(Answer)> done) override
    {
        m_journal << QStringLiteral("keyring write ") + secret;
        m_writes.append({secret, std::move(done)});
    }
    void answerRead(Answer answer) { m_reads.takeFirst()(answer, answer == Answer::Done ? held : QString()); }
    void answerWrite(Answer answer)
    {
        auto [secret, done] = m_writes.takeFirst();
        if (answer == Answer::Done)
            held = secret;
        done(answer);
    }
    QString held;

private:
    Journal& m_journal;
    QList<std::function<void(Answer, const QString&)>> m_reads;
    QList<QPair<QString, std::function<void(Answer)>>> m_writes;
};

struct KeyringHarness : FakeDesktop {
    FakeKeyring keyring{journal};
    settings::ConfigStore keyed{globals, store, &keyring};
    FakeTcpClient tcp{journal};
    FakeTimer checkTimer;
    FakeTimer replyTimer;
    FakeTimer retryTimer;
    shell::PopChk popChk{globals, ports(tcp, checkTimer, replyTimer, &retryTimer, &keyed)};

    KeyringHarness()
    {
        store.put("UserName", "alice");
        store.put("Pop3Server", "mail.example.test");
    }
    // The file's password and whether it says the keyring holds it.
    QString file() const { return store.stored("PassWord") + u'|' + store.stored("PassWordInKeyring"); }
    // What the next check sends for the password, or nothing when no check is due.
    QByteArray checkSends()
    {
        tcp.sent.clear();
        if (checkTimer.interval() != 1000 || !checkTimer.fire())
            return "no check";
        tcp.serverSends("+OK\r\n+OK\r\n");
        return tcp.sent.mid(tcp.sent.indexOf("PASS"));
    }
};

TEST(Keyring, AFilePasswordLeavesTheFileOnlyOnceTheKeyringConfirmedIt)
{
    using Answer = settings::SecretAnswer;
    const struct {
        Answer answer;
        QString file; // after the answer and the shut-down's save
        QString keyring;
    } rows[] = {
        {Answer::Done, "|True", "s3cret"},
        {Answer::NoKeyring, "s3cret|False", ""},
        {Answer::Refused, "s3cret|False", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.answer));
        KeyringHarness h;
        h.store.put("PassWord", "s3cret");
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        EXPECT_EQ(h.file(), "s3cret|"); // nothing moves before the keyring answers
        h.keyring.answerWrite(row.answer);
        EXPECT_EQ(h.checkSends(), "PASS s3cret\r\n");
        h.popChk.shutDown();
        EXPECT_EQ(h.file(), row.file);
        EXPECT_EQ(h.keyring.held, row.keyring);
        EXPECT_EQ(h.journal.filter("keyring").size(), 1); // a refusal is not asked again, nor prompted
    }
    KeyringHarness none; // no password: nothing to keep, nothing asked of the keyring
    ASSERT_EQ(none.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
    none.popChk.shutDown();
    EXPECT_EQ(none.file(), "|False");
    EXPECT_TRUE(none.journal.filter("keyring").isEmpty());
}

TEST(Keyring, TheFirstCheckWaitsForAKeyringThatIsLateOrLocked)
{
    using Answer = settings::SecretAnswer;
    const struct {
        QList<Answer> answers; // to the reads, in turn
        QByteArray sent;
    } rows[] = {
        {{Answer::Done}, "PASS s3cret\r\n"},
        // Late at log-in, locked, locked and declined (which reads "not found").
        {{Answer::NoKeyring, Answer::Refused, Answer::NotFound, Answer::Done}, "PASS s3cret\r\n"},
        {{Answer::NotFound, Answer::Refused}, "no check"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answers.size());
        KeyringHarness h;
        h.store.put("PassWord", "");
        h.store.put("PassWordInKeyring", "True");
        h.keyring.held = "s3cret";
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        QList<int> retries;
        for (qsizetype i = 0; i < row.answers.size(); ++i) {
            if (i > 0) {
                ASSERT_TRUE(h.retryTimer.fire());
            }
            h.keyring.answerRead(row.answers[i]);
            if (h.retryTimer.isRunning())
                retries << h.retryTimer.interval();
        }
        EXPECT_EQ(h.checkSends(), row.sent);
        EXPECT_EQ(h.journal.filter("keyring read").size(), row.answers.size());
        EXPECT_EQ(retries.size(), row.sent == "no check" ? row.answers.size() : row.answers.size() - 1);
        EXPECT_EQ(retries.mid(0, 3), (QList<int>{1000, 2000, 4000}).mid(0, retries.size()));
        h.popChk.shutDown();
        EXPECT_EQ(h.keyring.held, "s3cret"); // nothing was written over it
        EXPECT_EQ(h.file(), "|True");
        EXPECT_FALSE(h.retryTimer.isRunning());
    }
}

TEST(Keyring, ANewPasswordStaysInTheFileUntilTheKeyringHasItAndAReloadKeepsIt)
{
    using Answer = settings::SecretAnswer;
    KeyringHarness h;
    h.store.put("PassWord", "old");
    ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
    h.keyring.answerWrite(Answer::Done);
    EXPECT_EQ(h.file(), "|True");

    h.globals.config.PassWord = "new"; // the dialog's OK
    h.keyed.saveConfig();
    h.globals.ConfigChanged = true;
    EXPECT_EQ(h.file(), "new|False");
    EXPECT_EQ(h.checkSends(), "PASS new\r\n"); // the reload reads the file's copy
    h.keyring.answerWrite(Answer::Done);
    EXPECT_EQ(h.file(), "|True");
    h.globals.ConfigChanged = true;
    h.tcp.serverSends("+OK\r\n+OK 0 0\r\n+OK\r\n");
    h.popChk.checkNow();
    h.tcp.serverSends("+OK\r\n+OK\r\n");
    EXPECT_TRUE(h.tcp.sent.endsWith("PASS new\r\n")); // the empty file did not blank it
    EXPECT_EQ(h.keyring.held, "new");

    KeyringHarness typed; // a password typed while the keyring is late wins over the keyring's
    typed.store.put("PassWordInKeyring", "True");
    typed.keyring.held = "old";
    ASSERT_EQ(typed.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
    typed.globals.config.PassWord = "typed";
    typed.keyed.saveConfig();
    EXPECT_EQ(typed.file(), "typed|False");
    typed.keyring.answerRead(Answer::Done);
    EXPECT_EQ(typed.checkSends(), "PASS typed\r\n");
}

} // namespace
} // namespace vindel::test
