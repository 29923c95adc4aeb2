// Failed checks: the escalation of the error report, the three kinds of
// connection error, and the menu commands that recover from them.
#include "Fakes.h"
#include "check/ConnectionErrors.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

class Failures : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
        h.checkTimer.fire();
        h.journal.clear();
    }
    Journal reactions() const
    {
        Journal out;
        for (const QString& line : h.journal)
            if (line.startsWith("message") || line == "dialog" || line.startsWith("label") ||
                line.startsWith("tray") || line.startsWith("picture") || line.startsWith("end"))
                out << line;
        return out;
    }
    Harness h;
};

TEST_F(Failures, ThreeTransientFailuresEscalateThenTheFourthParksTheTimer)
{
    // The first two: the message, the dialog, and a retry a second later.
    for (const auto& [number, text] :
         {std::pair(10061, "Connection is forcefully rejected"), std::pair(11001, "Host not found")}) {
        h.tcp.fail(number, text);
        EXPECT_EQ(reactions(), (Journal{QString("message 48 Error %1\r\n\r\n%2").arg(number).arg(text),
                                        "dialog", "label Please Wait..."}));
        EXPECT_EQ(h.checkTimer.interval(), 1000);
        h.journal.clear();
        ASSERT_TRUE(h.checkTimer.fire());
        EXPECT_EQ(h.journal.filter("connect").size(), 1); // the retry
        h.journal.clear();
    }
    h.tcp.fail(10060, "Connection timed out");
    EXPECT_EQ(reactions(), (Journal{"label Error!", "tray 2 Vindel - Error!", "picture 2"}));
    EXPECT_EQ(h.window.colour, shell::TextColour::Red);
    EXPECT_FALSE(h.checkTimer.isEnabled());
    h.popChk.checkNow(); // checking has stopped: the check command does nothing
    EXPECT_TRUE(h.journal.filter("connect").isEmpty());

    // The settings command restarts checking; a fourth failure parks the timer.
    h.popChk.editSettings();
    EXPECT_EQ(h.window.status, "Please Wait...");
    EXPECT_EQ(h.window.colour, shell::TextColour::Blue);
    h.checkTimer.fire();
    h.window.settingsEntryEnabled = false;
    h.journal.clear();
    h.tcp.fail(10054, "Connection reset by peer");
    EXPECT_EQ(reactions(), Journal{"label Error!"});
    EXPECT_EQ(h.checkTimer.interval(), 60000);
    EXPECT_FALSE(h.checkTimer.isEnabled());
    EXPECT_TRUE(h.window.settingsEntryEnabled);
    // Every transient error went to the system log as a warning.
    EXPECT_EQ(h.systemLog.lines.size(), 4);
    EXPECT_EQ(h.systemLog.lines.value(3),
              "2 2026-12-07 09:30:05 [Error] 10054, [Description] Connection reset by peer");
}

TEST_F(Failures, ARejectedReplyAlwaysTakesTheFirstBranch)
{
    for (int round = 0; round < 4; ++round) {
        h.tcp.serverSends("-ERR [AUTH] Authentication failed.\r\n");
        EXPECT_EQ(h.journal.value(0), "message 48 Error 99999\r\n\r\n [AUTH] Authentication failed.\r\n");
        h.checkTimer.fire();
        h.journal.clear();
    }
}

TEST_F(Failures, AServerReplyBetweenFailuresRestartsTheEscalation)
{
    h.tcp.fail(10061, "refused");
    h.checkTimer.fire();
    h.tcp.fail(10061, "refused");
    h.checkTimer.fire();
    h.tcp.serverSends("+OK ready\r\n");
    EXPECT_EQ(h.errorCountShown(), 0);
}

TEST_F(Failures, OffLineShowsOfflineAndKeepsTheMinuteTick)
{
    h.tcp.fail(10061, "refused");
    h.checkTimer.fire();
    h.journal.clear();
    h.tcp.fail(11004, "No network");
    EXPECT_EQ(h.journal, (Journal{"close", "label OFFLINE"}));
    EXPECT_EQ(h.window.colour, shell::TextColour::Black);
    EXPECT_EQ(h.checkTimer.interval(), 60000);
    EXPECT_TRUE(h.checkTimer.isEnabled());
    EXPECT_EQ(h.systemLog.lines.size(), 1);
    EXPECT_EQ(h.errorCountShown(), 1); // untouched: the next failure counts on from here
}

TEST_F(Failures, AnyOtherNumberEndsTheProgramAfterItsMessage)
{
    for (int number : {10062, 10063, 10064, 11003, 40020}) {
        Harness fresh;
        fresh.popChk.start({}, QDir::tempPath());
        fresh.checkTimer.fire();
        fresh.journal.clear();
        fresh.tcp.fail(number, "Something else");
        EXPECT_EQ(
            fresh.journal,
            (Journal{"close", QString("message 16 Error %1\r\n\r\nSomething else").arg(number), "end 1"}));
        EXPECT_EQ(fresh.systemLog.lines.value(0),
                  QString("1 2026-12-07 09:30:05 [Error] %1, [Description] Something else").arg(number));
        EXPECT_TRUE(fresh.tray.present); // no shut-down sequence
        EXPECT_TRUE(fresh.store.writes.isEmpty());
    }
    using diag::FailureKind;
    for (const int number : {10014, 11002, 10065})
        EXPECT_EQ(check::classify({number, {}}), FailureKind::Transient);
    // A failure that names its kind is taken as named, whatever its number.
    EXPECT_EQ(check::classify({12345, {}, FailureKind::Transient}), FailureKind::Transient);
    EXPECT_EQ(check::classify({12345, {}}), FailureKind::Fatal);
}

TEST_F(Failures, TheErrorCountStopsAt32767)
{
    // Past its 16 bits the count would turn negative and the escalation start over.
    for (int failure = 1; failure <= 32770; ++failure)
        h.tcp.fail(10061, "refused");
    EXPECT_EQ(h.journal.filter("message").size(), 2);
    EXPECT_EQ(h.journal.last(), "label Error!");
}

class Mailer : public Failures {
protected:
    void checkFinds(const QByteArray& count)
    {
        h.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK " + count + " 100\r\n+OK\r\n");
    }
};

TEST_F(Mailer, ALaunchWithResetShowsNoMailAndTheNextFindAlertsAgain)
{
    h.globals.config.MailerPath = "mailer --compose";
    h.globals.config.MailCountReset = true;
    checkFinds("3");
    h.journal.clear();
    h.popChk.launchMailer();
    EXPECT_EQ(h.journal, (Journal{"start mailer --compose", "label You have No mail",
                                  "tray 0 Vindel - You have No mail", "picture 0"}));
    h.checkTimer.fire();
    h.popChk.checkNow();
    h.journal.clear();
    checkFinds("3");
    EXPECT_TRUE(h.journal.contains("notice You have 3 Mail(s)"));
}

TEST_F(Mailer, NoResetWhenSwitchedOffOrAfterAFailure)
{
    h.globals.config.MailerPath = "mailer";
    checkFinds("3");
    h.journal.clear();
    h.popChk.launchMailer(); // reset off
    EXPECT_EQ(h.journal, Journal{"start mailer"});

    h.globals.config.MailCountReset = true;
    h.checkTimer.fire();
    h.popChk.checkNow();
    h.tcp.fail(10061, "refused");
    h.journal.clear();
    h.popChk.launchMailer(); // a failure is pending
    EXPECT_EQ(h.journal, Journal{"start mailer"});
}

TEST_F(Mailer, AFailedStartShowsWhyAndChangesNothing)
{
    h.globals.config.MailCountReset = true;
    h.launchFailure = QString("No such file or directory");
    h.popChk.launchMailer();
    EXPECT_EQ(
        h.journal,
        (Journal{"start ", "message 48 No such file or directory\r\n\r\nﾒｰﾗのﾊﾟｽを確認してください。"}));
}

TEST_F(Mailer, TheSettingsCommandChecksASecondLaterEvenAfterCancel)
{
    h.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK 0 0\r\n+OK\r\n");
    bool timerRanDuringDialog = true;
    h.onDialog = [&] { timerRanDuringDialog = h.checkTimer.isEnabled(); };
    h.popChk.editSettings();
    EXPECT_FALSE(timerRanDuringDialog);
    EXPECT_EQ(h.window.status, "Please Wait...");
    EXPECT_EQ(h.checkTimer.interval(), 1000);
    h.journal.clear();
    h.checkTimer.fire();
    EXPECT_EQ(h.journal.filter("connect").size(), 1);
}

} // namespace
} // namespace vindel::test
