// The start-up sequence, the switches, the log's housekeeping and shut-down.
#include "Fakes.h"
#include "diag/LogFile.h"
#include "shell/StartSwitch.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

using Result = shell::PopChk::StartResult;

class Startup : public ::testing::Test {
protected:
    Result start(const QStringList& args = {}) { return h.popChk.start(args, logDir.path()); }
    QString logPath() const { return logDir.filePath("Vindel.log"); }
    void writeLog(qint64 size)
    {
        QFile f(logPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }

    Harness h;
    QTemporaryDir logDir;
};

TEST_F(Startup, ANormalStartShowsInitializeAndChecksASecondLater)
{
    EXPECT_EQ(start(), Result::Running);
    EXPECT_EQ(h.journal,
              (Journal{"label ", "topmost 0", "picture 0", "tray add 0 Vindel", "label Initialize..."}));
    EXPECT_EQ(h.window.icon, shell::StatePicture::Normal);
    EXPECT_EQ(h.popChk.variables().PrevMailCount, "-1");
    EXPECT_EQ(h.checkTimer.interval(), 1000);
    EXPECT_TRUE(h.checkTimer.isEnabled());
    EXPECT_TRUE(h.globals.CheckAtNextTick);
    EXPECT_FALSE(h.globals.LogEnabled);
    EXPECT_TRUE(h.store.writes.isEmpty());
}

TEST_F(Startup, ASecondCopyEndsSilently)
{
    h.instance.another = true;
    EXPECT_EQ(start(), Result::AnotherInstance);
    EXPECT_TRUE(h.journal.isEmpty());
    EXPECT_FALSE(h.checkTimer.isEnabled());
}

TEST_F(Startup, TheSwitchesAreTheWholeArgumentTextInAnyCase)
{
    using shell::StartSwitch;
    EXPECT_EQ(shell::parseStartSwitch({"/c"}), StartSwitch::Configure);
    EXPECT_EQ(shell::parseStartSwitch({"/C"}), StartSwitch::Configure);
    EXPECT_EQ(shell::parseStartSwitch({"/t"}), StartSwitch::Trace);
    EXPECT_EQ(shell::parseStartSwitch({"/C", "/T"}), StartSwitch::None);
    EXPECT_EQ(shell::parseStartSwitch({"/T /C"}), StartSwitch::None);
    EXPECT_EQ(shell::parseStartSwitch({"/T", ""}), StartSwitch::None);
    EXPECT_EQ(shell::parseStartSwitch({}), StartSwitch::None);
}

TEST_F(Startup, TheDialogIsForcedByTheSwitchOrMissingSettings)
{
    EXPECT_EQ(start({"/c"}), Result::AskedToRestart);
    EXPECT_EQ(h.journal.mid(2), (Journal{"dialog", "message 64 ﾌﾟﾛｸﾞﾗﾑを再度起動してください。"}));
    EXPECT_FALSE(h.tray.present);
    EXPECT_FALSE(h.checkTimer.isEnabled());

    for (const char* key : {"Pop3Server", "UserName"}) {
        Harness missing;
        missing.store.put(key, "");
        EXPECT_EQ(missing.popChk.start({}, logDir.path()), Result::AskedToRestart) << key;
        EXPECT_TRUE(missing.journal.contains("dialog"));
    }
}

TEST_F(Startup, AStoredNumberThatCannotBeReadStopsEveryStart)
{
    h.store.put("Interval", "often");
    EXPECT_EQ(start({"/C"}), Result::Failed);
    EXPECT_EQ(h.journal.filter("message"), Journal{"message 16 13\r\n\r\nType mismatch"});
    EXPECT_FALSE(h.journal.contains("dialog"));
    EXPECT_FALSE(h.tray.present);
}

TEST_F(Startup, TheLogIsTrimmedAtEveryStartAndOnlyTracedWithTheSwitch)
{
    writeLog(60000);
    EXPECT_EQ(start(), Result::Running);
    EXPECT_EQ(QFileInfo(logPath()).size(), 60000); // exactly the limit stays

    Harness again;
    writeLog(60001);
    EXPECT_EQ(again.popChk.start({}, logDir.path()), Result::Running);
    EXPECT_FALSE(QFileInfo::exists(logPath())); // deleted without "/T" too

    Harness traced;
    EXPECT_EQ(traced.popChk.start({"/T"}, logDir.path()), Result::Running);
    EXPECT_TRUE(traced.globals.LogEnabled);
    QFile f(logPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "INFO  2026-12-07 09:30:05 Vindel Started\n");
}

TEST_F(Startup, ALogThatCannotBeOpenedIsAStartUpError)
{
    EXPECT_EQ(h.popChk.start({"/T"}, "/proc/no-such-folder"), Result::Failed);
    ASSERT_EQ(h.journal.filter("message").size(), 1);
    EXPECT_TRUE(h.journal.filter("message").value(0).startsWith("message 16 75\r\n\r\n"));
}

TEST_F(Startup, ErrorsGoToTheSystemLogOnlyWithoutTheLogFile)
{
    EXPECT_EQ(start({"/T"}), Result::Running);
    h.checkTimer.fire();
    h.dialog.onRun = [] {};
    h.tcp.fail(10061, "refused");
    EXPECT_TRUE(h.systemLog.lines.isEmpty());
    QFile f(logPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().endsWith("WARN  2026-12-07 09:30:05 [Error] 10061, [Description] refused\n"));
}

TEST_F(Startup, ShutDownSavesThePositionDropsTheConnectionAndTheTray)
{
    ASSERT_EQ(start(), Result::Running);
    h.checkTimer.fire();
    h.tcp.serverSends("+OK ready\r\n"); // a check is half-way
    h.window.left = 1234;
    h.window.top = 567;
    h.tcp.sent.clear();
    h.popChk.exitProgram();
    EXPECT_EQ(h.store.stored("PosLeft"), "1234");
    EXPECT_EQ(h.store.stored("PosTop"), "567");
    EXPECT_EQ(h.store.writes.size(), 10);
    EXPECT_FALSE(h.tcp.isOpen());
    EXPECT_TRUE(h.tcp.sent.isEmpty()); // no QUIT
    EXPECT_FALSE(h.tray.present);
    EXPECT_EQ(h.journal.last(), "quit");
    h.popChk.shutDown(); // the end of the session after Exit: nothing twice
    EXPECT_EQ(h.store.writes.size(), 10);
}

TEST_F(Startup, DraggingTheWindowStoresItsPlaceAtOnce)
{
    ASSERT_EQ(start(), Result::Running);
    h.popChk.windowMoved(3000, 4500);
    EXPECT_EQ(h.store.stored("PosLeft"), "3000");
    EXPECT_EQ(h.store.stored("PosTop"), "4500");
    h.globals.ConfigChanged = true;
    h.checkTimer.fire(); // a reload puts it back where it was dropped
    EXPECT_EQ(h.window.left, 3000);
    EXPECT_EQ(h.window.top, 4500);
}

TEST_F(Startup, AlwaysInFrontTogglesWithItsCheckMark)
{
    ASSERT_EQ(start(), Result::Running);
    h.popChk.toggleTopMost();
    EXPECT_TRUE(h.window.topMost);
    EXPECT_TRUE(h.window.formTopChecked);
    EXPECT_TRUE(h.globals.config.TopMost);
    h.popChk.toggleTopMost();
    EXPECT_FALSE(h.window.topMost);
    EXPECT_FALSE(h.globals.config.TopMost);
    EXPECT_TRUE(h.store.writes.isEmpty()); // stored with the next save
}

} // namespace
} // namespace vindel::test
