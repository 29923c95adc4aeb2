#include "platform/InstanceLock.h"
#include "platform/QtProcessLauncher.h"
#include "platform/QtSoundPlayer.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {
using platform::InstanceLock;
using platform::QtProcessLauncher;
using platform::QtSoundPlayer;

TEST(QtProcessLauncherTest, StartsTheProgramWithItsArgumentsAndNoShell)
{
    QTemporaryDir folder;
    // Quotes group; a semicolon is no command separator without a shell.
    const QString target = folder.filePath("new mail;flag");
    QtProcessLauncher launcher;
    EXPECT_EQ(launcher.start(QStringLiteral("touch \"%1\"").arg(target)), std::nullopt);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(target); }, 5000));
    EXPECT_FALSE(QFile::exists(folder.filePath("new mail")));
}

TEST(QtProcessLauncherTest, FailureComesBackAsADescription)
{
    QtProcessLauncher launcher;
    const auto missing = launcher.start(QStringLiteral("/nonexistent/mailer --compose"));
    ASSERT_TRUE(missing.has_value());
    EXPECT_FALSE(missing->isEmpty());
    for (const QString& empty : {QString(), QStringLiteral("   "), QStringLiteral("\"\"")}) {
        const auto result = launcher.start(empty);
        ASSERT_TRUE(result.has_value()) << empty.toStdString();
        EXPECT_FALSE(result->isEmpty());
    }
}

// A short, valid 8-bit mono wave file.
QByteArray waveBytes()
{
    const QByteArray samples(800, char(0x80));
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

TEST(QtSoundPlayerTest, OnlyWaveFilesArePlayed)
{
    QTemporaryDir folder;
    EXPECT_TRUE(QtSoundPlayer::isWaveFile(writeFile(folder, "ok.wav", waveBytes())));
    EXPECT_FALSE(QtSoundPlayer::isWaveFile(QString()));
    EXPECT_FALSE(QtSoundPlayer::isWaveFile(folder.filePath("missing.wav")));
    EXPECT_FALSE(QtSoundPlayer::isWaveFile(writeFile(folder, "empty.wav", {})));
    EXPECT_FALSE(QtSoundPlayer::isWaveFile(writeFile(folder, "text.wav", "this is no sound at all")));
    EXPECT_FALSE(QtSoundPlayer::isWaveFile(folder.path())); // a folder
}

TEST(QtSoundPlayerTest, UnplayableFilesAreSilentAndPlayReturnsAtOnce)
{
    QTemporaryDir folder;
    const QStringList paths = {
        QString(),
        folder.filePath("missing.wav"),
        writeFile(folder, "empty.wav", {}),
        writeFile(folder, "text.wav", "this is no sound at all"),
        folder.path(),
        writeFile(folder, "ok.wav", waveBytes()),
    };
    QtSoundPlayer player;
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessages);
    QElapsedTimer clock;
    clock.start();
    for (const QString& path : paths)
        player.play(path);
    const qint64 elapsed = clock.elapsed();
    qInstallMessageHandler(previous);
    EXPECT_LT(elapsed, 1000);
    // The valid file may or may not sound, depending on the machine's audio;
    // the others must not even be tried, so no warning of any kind.
    if (!QtSoundPlayer::hasAudioOutput()) {
        EXPECT_TRUE(g_messages.isEmpty()) << g_messages.join(u'\n').toStdString();
    }
}

class InstanceLockTest : public ::testing::Test {
protected:
    QTemporaryDir m_folder;
};

TEST_F(InstanceLockTest, OneInstancePerSession)
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

TEST_F(InstanceLockTest, ReleasedWithItsOwner)
{
    {
        InstanceLock first(m_folder.path(), ":0");
        ASSERT_TRUE(first.tryAcquire());
    }
    InstanceLock next(m_folder.path(), ":0");
    EXPECT_TRUE(next.tryAcquire());
}

TEST_F(InstanceLockTest, LockOfADeadProcessIsTakenOver)
{
    // A finished child's process id stands for the crashed instance.
    QProcess child;
    child.start(QStringLiteral("true"));
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

TEST_F(InstanceLockTest, SessionNameIsSafeInAFileName)
{
    InstanceLock lock(m_folder.path(), "../x:0/y");
    EXPECT_EQ(QFileInfo(lock.lockPath()).path(), m_folder.path());
    EXPECT_TRUE(QFileInfo(lock.lockPath()).fileName().startsWith("Vindel-"));
    EXPECT_TRUE(lock.tryAcquire());
}

} // namespace
} // namespace vindel::test
