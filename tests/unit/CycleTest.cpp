// When checks start: the minute ticks counted against the interval, the
// check command, the reload of changed settings and a check that cannot start.
#include "Fakes.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

class Cycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
    }

    // Runs one whole successful check on the fake connection.
    void answerCheck() { h.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK 0 0\r\n+OK\r\n"); }

    int connects() const { return int(h.journal.filter("connect ").size()); }

    // Answers the running check, then counts the ticks until the next one starts.
    int ticksToNextCheck()
    {
        answerCheck();
        const int before = connects();
        int ticks = 0;
        while (connects() == before && ticks < 100 && h.checkTimer.fire())
            ++ticks;
        return ticks;
    }

    Harness h;
};

TEST_F(Cycle, IntervalTenChecksAtStartThenTheTenthThenEveryEleventhTick)
{
    h.globals.config.Interval = 10;
    EXPECT_EQ(h.checkTimer.interval(), 1000);
    ASSERT_TRUE(h.checkTimer.fire());
    EXPECT_EQ(connects(), 1);
    answerCheck();

    QList<int> checkTicks;
    for (int tick = 1; tick <= 40; ++tick) {
        const int before = connects();
        ASSERT_TRUE(h.checkTimer.fire());
        if (connects() > before) {
            checkTicks << tick;
            answerCheck();
        }
    }
    EXPECT_EQ(checkTicks, (QList<int>{10, 21, 32}));
}

TEST_F(Cycle, TheCheckCommandStartsAtOnceOnlyWhileTheTimerRuns)
{
    h.globals.config.Interval = 5;
    h.checkTimer.fire();
    answerCheck();
    h.checkTimer.fire(); // one minute counted
    h.window.colour = shell::TextColour::Black;
    h.popChk.checkNow();
    EXPECT_EQ(connects(), 2);
    EXPECT_EQ(h.window.status, "Connecting...");
    EXPECT_EQ(h.window.colour, shell::TextColour::Blue);
    EXPECT_FALSE(h.checkTimer.isEnabled());
    EXPECT_EQ(h.checkTimer.interval(), 0);

    h.popChk.checkNow(); // a check is under way: nothing
    EXPECT_EQ(connects(), 2);
    // The command's check counts as the first tick; no request is left over.
    EXPECT_EQ(ticksToNextCheck(), 5);
}

TEST_F(Cycle, ACheckCommandWhenTheCountIsDueLeavesTheRequestForLater)
{
    h.globals.config.Interval = 2;
    h.checkTimer.fire();
    answerCheck();
    h.checkTimer.fire(); // ticks 1 -> 2 = Interval
    h.popChk.checkNow();
    EXPECT_EQ(connects(), 2);
    EXPECT_EQ(ticksToNextCheck(), 1); // the leftover request starts another check at once
    EXPECT_EQ(ticksToNextCheck(), 2); // then the count from one again
}

TEST_F(Cycle, IntervalZeroChecksAtEveryTick)
{
    // From the start the tick count is 0, which equals the interval at every
    // tick: each tick starts a check through the count.
    h.globals.config.Interval = 0;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(h.checkTimer.fire());
        answerCheck();
    }
    EXPECT_EQ(connects(), 4);
}

TEST_F(Cycle, ATickCountPastItsSixteenBitsIsAFailure)
{
    // Only an interval the counting never reaches (stored by hand) gets here.
    h.globals.config.Interval = -1;
    h.checkTimer.fire();
    answerCheck();
    for (int tick = 2; tick <= 32767; ++tick) // the first check was tick one
        ASSERT_TRUE(h.checkTimer.fire());
    EXPECT_TRUE(h.journal.filter("message").isEmpty());
    h.checkTimer.fire();
    EXPECT_EQ(h.journal.filter("message"), Journal{"message 48 Error 6\r\n\r\nOverflow"});
    EXPECT_EQ(h.errorCountShown(), 1);
}

TEST_F(Cycle, ChangedSettingsAreReloadedBeforeConnecting)
{
    h.store.put("Pop3Server", "other.example.test:1110");
    h.store.put("PosLeft", "150");
    h.store.put("PosTop", "300");
    h.globals.ConfigChanged = true;
    h.journal.clear();
    h.checkTimer.fire();
    EXPECT_EQ(h.journal.filter("connect").value(0), "connect other.example.test:1110");
    EXPECT_LT(h.journal.indexOf("label Connecting..."), h.journal.indexOf("topmost 0"));
    EXPECT_FALSE(h.globals.ConfigChanged);
    EXPECT_EQ(h.window.left, 150);
    EXPECT_EQ(h.window.top, 300);
}

TEST_F(Cycle, AReloadThatFailsIsReportedAndTriedAgainNextTime)
{
    h.store.put("Interval", "ten");
    h.globals.ConfigChanged = true;
    h.journal.clear();
    h.checkTimer.fire();
    EXPECT_EQ(h.journal.filter("message").value(0), "message 48 Error 13\r\n\r\nType mismatch");
    EXPECT_EQ(connects(), 0);
    EXPECT_TRUE(h.globals.ConfigChanged);
    h.store.put("Interval", "10");
    EXPECT_EQ(h.errorCountShown(), 1);
}

TEST_F(Cycle, AConnectRefusedAtOnceClosesCountsAndReports)
{
    h.tcp.refuseNextConnect = diag::Failure{10014, "Bad address"};
    h.onDialog = [] {};
    h.journal.clear();
    h.checkTimer.fire();
    EXPECT_EQ(h.journal.filter("message"), Journal{"message 48 Error 10014\r\n\r\nBad address"});
    EXPECT_EQ(h.checkTimer.interval(), 1000); // the report arranged the retry
    EXPECT_EQ(h.errorCountShown(), 1);
}

TEST_F(Cycle, MenuEnablingFollowsTheTimerAndTheWindowMenuTheErrorCount)
{
    EXPECT_EQ(h.popChk.windowMenuState(), (shell::MenuState{true, true}));
    h.checkTimer.fire();
    EXPECT_EQ(h.popChk.windowMenuState(), (shell::MenuState{false, false}));
    EXPECT_EQ(h.popChk.trayMenuState(), (shell::MenuState{false, false}));
    // Three failures in a row: the window menu offers the settings again.
    for (int i = 0; i < 3; ++i) {
        h.tcp.fail(10061, "Connection is forcefully rejected");
        if (i < 2)
            h.checkTimer.fire();
    }
    EXPECT_FALSE(h.checkTimer.isEnabled());
    EXPECT_EQ(h.popChk.windowMenuState(), (shell::MenuState{false, true}));
    EXPECT_EQ(h.popChk.trayMenuState(), (shell::MenuState{false, false}));
}

TEST(Wake, TheNetworkComingBackOrAResumeChecksASecondLaterOnlyWhenItHelps)
{
    enum class Signal { Network, Resume };
    const auto goodCheck = [](Harness& h) {
        h.popChk.checkNow();
        h.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK 0 0\r\n+OK\r\n");
    };
    const auto offLine = [](Harness& h) {
        h.checkTimer.fire();
        h.tcp.fail(11004, "No data record of requested type");
    };
    const struct {
        const char* situation;
        std::function<void(Harness&)> reach;
        bool network;
        bool resume;
        bool underWay = false;
    } rows[] = {
        {"counting after a good check", goodCheck, false, true},
        {"off line", offLine, true, true},
        {"off line, then a good check", [&](Harness& h) { offLine(h), goodCheck(h); }, false, true},
        {"a connection error, its retry due",
         [](Harness& h) {
             h.checkTimer.fire();
             h.tcp.fail(10061, "Connection is forcefully rejected");
         },
         true, true},
        {"a check under way", [](Harness& h) { h.checkTimer.fire(); }, false, false, true},
        {"checking stopped after three failures",
         [](Harness& h) {
             for (int i = 0; i < 3; ++i) {
                 h.checkTimer.fire();
                 h.tcp.fail(11001, "Authoritative answer: host not found");
             }
         },
         false, false},
    };
    for (const auto& row : rows)
        for (const Signal signal : {Signal::Network, Signal::Resume}) {
            SCOPED_TRACE(std::string(row.situation) + (signal == Signal::Network ? ", network" : ", resume"));
            Harness h;
            h.globals.config.Interval = 10;
            h.onDialog = [] {};
            ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
            row.reach(h);
            const auto connects = [&] { return h.journal.filter("connect ").size(); };
            const auto before = connects();
            signal == Signal::Network ? h.popChk.networkReturned() : h.popChk.resumed();
            const bool expected = signal == Signal::Network ? row.network : row.resume;
            const bool soon = h.checkTimer.isRunning() && h.checkTimer.interval() == 1000;
            EXPECT_EQ(soon && h.checkTimer.fire() && connects() == before + 1, expected);
            if (row.underWay) { // nothing is kept for later: the next check comes at its count
                h.tcp.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK 0 0\r\n+OK\r\n");
                EXPECT_TRUE(h.checkTimer.fire());
                EXPECT_EQ(connects(), before);
            }
        }
}

} // namespace
} // namespace vindel::test
