#include "platform/InstanceLock.h"
#include "platform/QtProcessLauncher.h"
#include "platform/QtSoundPlayer.h"
#include "platform/TerminationWatcher.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>

namespace vindel::test {
namespace {
using platform::InstanceLock;
using platform::QtProcessLauncher;
using platform::QtSoundPlayer;
using platform::TerminationWatcher;

TEST(QtProcessLauncherTest, StartsTheProgramWithItsArgumentsAndNoShell)
{
    QTemporaryDir folder;
    // Quotes group; a semicolon, quoted or not, is no command separator
    // without a shell.
    const QString target = folder.filePath("new mail;flag");
    const QString unquoted = folder.filePath(";x");
    QtProcessLauncher launcher;
    EXPECT_EQ(launcher.start(QStringLiteral("touch \"%1\" %2").arg(target, unquoted)), std::nullopt);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(target) && QFile::exists(unquoted); }, 5000));
    EXPECT_FALSE(QFile::exists(folder.filePath("new mail")));
}

TEST(QtProcessLauncherTest, FailureComesBackAsADescription)
{
    QtProcessLauncher launcher;
    const auto missing = launcher.start("/nonexistent/mailer --compose");
    ASSERT_TRUE(missing.has_value());
    EXPECT_FALSE(missing->isEmpty());
    for (const QString& empty : QStringList{QString(), "   ", "\"\""}) {
        const auto result = launcher.start(empty);
        ASSERT_TRUE(result.has_value()) << empty.toStdString();
        EXPECT_FALSE(result->isEmpty());
    }
}

// A valid 8-bit mono wave file, 8000 samples a second (0.1 s by default).
QByteArray waveBytes(int count = 800)
{
    const QByteArray samples(count, char(0x80));
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(8000) << quint16(1)
        << quint16(8);
    out.writeRawData("data", 4);
    out << quint32(samples.size());
    out.writeRawData(samples.constData(), int(samples.size()));
    return bytes;
}

QString writeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes)
{
    QFile file(folder.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

QStringList g_messages;
void collectMessages(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages << message;
}

// Stand-in players on a PATH of their own. Each call of one records its
// process id and arguments in "<name>.<n>", then runs `then`.
struct FakePlayers {
    QTemporaryDir bin;
    const QByteArray savedPath = qgetenv("PATH");
    QMap<QString, int> seen;
    FakePlayers() { qputenv("PATH", bin.path().toLocal8Bit()); }
    ~FakePlayers() { qputenv("PATH", savedPath); }
    void add(const QString& name, const QByteArray& then)
    {
        const QByteArray record =
            "#!/bin/sh\nPATH=/usr/bin:/bin n=0; while [ -e \"$0.$n\" ]; do n=$((n+1)); done\n"
            "printf '%s\\0' $$ \"$@\" >\"$0.t\"; mv \"$0.t\" \"$0.$n\"\n";
        QFile::setPermissions(writeFile(bin, name, record + then), QFile::ReadOwner | QFile::ExeOwner);
    }
    // The next call of `name`: its process id, then its arguments.
    QStringList next(const QString& name)
    {
        QFile record(bin.filePath(QStringLiteral("%1.%2").arg(name).arg(seen[name]++)));
        if (!QTest::qWaitFor([&] { return record.exists(); }, 10000) || !record.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(record.readAll()).split(QChar(0), Qt::SkipEmptyParts);
    }
};

// Only a wave file is played, by the first player on PATH that does not fail,
// as one argument as written. play() returns while the player runs; a new
// sound ends the one still playing; a hung one is killed and reaped within its
// bound; none outlives the object; nothing of this is ever said.
TEST(QtSoundPlayerTest, OnlyAWaveFileIsPlayedAndAHungPlayerNeitherHoldsUpPlayNorPilesUp)
{
    QTemporaryDir folder;
    const QString wave = QStringLiteral("-n \"new\" 'mail'.wav");
    writeFile(folder, wave, waveBytes());
    const QString longWave =
        writeFile(folder, "long.wav", waveBytes(30 * 8000)); // killed at once if replaced
    const QStringList noSounds = {
        QString(),
        folder.filePath("missing.wav"),
        writeFile(folder, "empty.wav", {}),
        writeFile(folder, "text.wav", "this is no sound at all"),
        folder.path(), // a folder
    };
    const auto gone = [](const QString& pid) { return ::kill(pid.toInt(), 0) != 0 && errno == ESRCH; };
    const QString oldFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessages);
    {
        FakePlayers players;
        std::optional<QtSoundPlayer> player(std::in_place);
        player->play(wave); // no player on PATH yet
        players.add("paplay", "exit 1");
        players.add("aplay", "exec sleep 600");
        for (const QString& path : noSounds)
            player->play(path);
        QStringList hung;
        for (int sound = 0; sound < 3; ++sound) {
            player->play(sound == 0 ? longWave : wave);
            EXPECT_EQ(players.next("paplay").mid(1), QStringList({"--", sound == 0 ? longWave : wave}));
            hung << players.next("aplay").value(0);
            EXPECT_FALSE(gone(hung.last()));
            if (sound == 1) {
                EXPECT_TRUE(QTest::qWaitFor([&] { return gone(hung[0]); }, 20000));
                const auto bound = QtSoundPlayer::playerBound(std::chrono::milliseconds(100));
                EXPECT_TRUE(QTest::qWaitFor([&] { return gone(hung[1]); }, int(bound.count()) + 10000));
            }
        }
        player.reset();
        EXPECT_TRUE(gone(hung[2]));
    }
    qInstallMessageHandler(previous);
    QDir::setCurrent(oldFolder);
    EXPECT_TRUE(g_messages.isEmpty()) << g_messages.join(u'\n').toStdString();
}

class InstanceLockTest : public ::testing::Test {
protected:
    QTemporaryDir m_folder;
};

TEST_F(InstanceLockTest, OneInstancePerSessionReleasedWithItsOwner)
{
    {
        InstanceLock first(m_folder.path(), ":0");
        ASSERT_TRUE(first.tryAcquire());
        EXPECT_TRUE(first.tryAcquire()); // holding it already

        InstanceLock second(m_folder.path(), ":0");
        EXPECT_FALSE(second.tryAcquire());
        EXPECT_TRUE(second.anotherInstanceRunning());
        EXPECT_FALSE(first.anotherInstanceRunning());

        InstanceLock otherSession(m_folder.path(), "wayland-1");
        EXPECT_TRUE(otherSession.tryAcquire());
    }
    InstanceLock next(m_folder.path(), ":0");
    EXPECT_TRUE(next.tryAcquire());
}

TEST_F(InstanceLockTest, LockOfADeadProcessIsTakenOver)
{
    // A finished child's process id stands for the crashed instance.
    QProcess child;
    child.start("true");
    ASSERT_TRUE(child.waitForFinished(5000));
    const qint64 deadPid = child.processId() > 0 ? child.processId() : 0;

    InstanceLock probe(m_folder.path(), ":0");
    const QString path = probe.lockPath();
    QByteArray contents;
    {
        QLockFile real(path);
        ASSERT_TRUE(real.tryLock(0));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        contents = file.readAll();
        real.unlock();
    }
    // The same lock, as if written by the dead process.
    QList<QByteArray> lines = contents.split('\n');
    ASSERT_FALSE(lines.isEmpty());
    lines[0] = QByteArray::number(deadPid == 0 ? 999999 : deadPid);
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(lines.join('\n'));
    stale.close();

    InstanceLock live(m_folder.path(), ":0");
    EXPECT_TRUE(live.tryAcquire());
}

// Every spelling of one display is one session, so one lock.
TEST_F(InstanceLockTest, EachDisplayHasOneSessionName)
{
    const QString run = "/run/user/1000";
    const QString host = "desk";
    // Each row: the Wayland display, the X11 spellings, the one session name.
    const QList<std::tuple<QString, QStringList, QString>> cases = {
        {"",
         {":0", ":0.0", ":0.1", "unix:0", "unix:0.0", "localhost:0", "localhost:0.0", "127.0.0.1:0", "DESK:0",
          "unix/:0", "tcp/localhost:00"},
         "x11-0"},
        {"", {":1"}, "x11-1"},
        {"", {"localhost:10.0"}, "x11-10"},
        {"", {"far.example:0.0", "Far.Example:0"}, "x11-far.example-0"},
        {"", {"garbage"}, "other-garbage"},
        {"", {""}, "nodisplay"},
        {"wayland-0", {":0"}, "wl-wayland-0"},
        {"/run/user/1000/wayland-0", {""}, "wl-wayland-0"},
        {"/run/user/1000/./wayland-0", {""}, "wl-wayland-0"},
        {"/elsewhere/wayland-0", {""}, "wl-_elsewhere_wayland-0"},
    };
    for (const auto& [wayland, spellings, expected] : cases)
        for (const QString& x11 : spellings)
            EXPECT_EQ(InstanceLock::sessionName(wayland, x11, run, host), expected)
                << wayland.toStdString() << " " << x11.toStdString();
}

TEST_F(InstanceLockTest, ALaterStartAsksTheRunningCopyToComeForward)
{
    InstanceLock running(m_folder.path(), "x11-0");
    int asked = 0;
    ASSERT_TRUE(running.listenForLaterStarts([&asked] { ++asked; }));
    EXPECT_TRUE(QFileInfo::exists(running.socketPath()));

    InstanceLock later(m_folder.path(), "x11-0");
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(later.anotherInstanceRunning());
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return asked == 1; }, 5000));
    EXPECT_TRUE(later.anotherInstanceRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return asked == 2; }, 5000));

    InstanceLock otherDisplay(m_folder.path(), "x11-1");
    EXPECT_FALSE(otherDisplay.anotherInstanceRunning());
    EXPECT_FALSE(QTest::qWaitFor([&] { return asked > 2; }, 200));
}

TEST_F(InstanceLockTest, ACopyStillStartingIsLeftAloneAndTheSocketGoesWithTheLock)
{
    {
        InstanceLock starting(m_folder.path(), "x11-0");
        ASSERT_TRUE(starting.tryAcquire()); // not listening yet
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(InstanceLock(m_folder.path(), "x11-0").anotherInstanceRunning());
        EXPECT_LT(clock.elapsed(), 1500);

        // A socket file left by a copy that died does not stop the next one.
        QFile leftOver(starting.socketPath());
        ASSERT_TRUE(leftOver.open(QIODevice::WriteOnly));
        leftOver.close();
        int asked = 0;
        ASSERT_TRUE(starting.listenForLaterStarts([&asked] { ++asked; }));
        EXPECT_TRUE(InstanceLock(m_folder.path(), "x11-0").anotherInstanceRunning());
        EXPECT_TRUE(QTest::qWaitFor([&] { return asked == 1; }, 5000));
    }
    EXPECT_FALSE(QFileInfo::exists(InstanceLock(m_folder.path(), "x11-0").socketPath()));
}

TEST_F(InstanceLockTest, SessionNameIsSafeInAFileName)
{
    InstanceLock lock(m_folder.path(), "../x:0/y");
    EXPECT_EQ(QFileInfo(lock.lockPath()).path(), m_folder.path());
    EXPECT_TRUE(QFileInfo(lock.lockPath()).fileName().startsWith("Vindel-"));
    EXPECT_TRUE(lock.tryAcquire());
}

// Signals that come before the event loop runs (a slow start-up) must not
// block the handler: the process would then never end. Run in a child copy
// of this test program, so that a hang is a time-out here, not a hung test.
TEST(TerminationWatcherTest, ABurstOfSignalsBeforeTheLoopRunsEndsOnce)
{
    if (qEnvironmentVariableIsSet("VINDEL_SIGNAL_BURST_CHILD")) {
        int calls = 0;
        TerminationWatcher watcher([&calls] { ++calls; });
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(::raise(i % 2 ? SIGTERM : SIGHUP), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
        EXPECT_FALSE(QTest::qWaitFor([&] { return calls > 1; }, 100)); // the whole burst is one request
        return;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VINDEL_SIGNAL_BURST_CHILD", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=TerminationWatcherTest.ABurstOfSignalsBeforeTheLoopRunsEndsOnce"});
    ASSERT_TRUE(child.waitForStarted(5000));
    const bool finished = child.waitForFinished(20000);
    if (!finished) {
        child.kill();
        child.waitForFinished(3000);
    }
    const std::string output = child.readAll().toStdString();
    ASSERT_TRUE(finished) << "the signal handler hung\n" << output;
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(child.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

} // namespace
} // namespace vindel::test
