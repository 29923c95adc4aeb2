// A save of the settings killed at any moment leaves the old record or the
// new one on disk, never a mix: a helper process saves two records
// alternately in a tight loop and is killed with SIGKILL at random moments.
#include "Fakes.h"
#include "SettingsRecords.h"
#include "platform/IniSettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vindel::test {
namespace {

constexpr int kills = 200;
constexpr int maxDelayMicroseconds = 20000;

mode_t modeOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

// What a fresh run of the program would load from the folder.
settings::ConfigRecord loadFrom(const QString& folder, std::optional<diag::Failure>& failure)
{
    platform::IniSettingsStore store(folder);
    settings::WindowPlacement window;
    settings::Globals globals;
    settings::ConfigStore config(globals, store);
    failure = config.loadConfig(window);
    return globals.config;
}

std::string describe(const settings::ConfigRecord& r)
{
    return QStringLiteral("{%1|%2|%3|%4|%5|%6|%7|%8|%9|%10}")
        .arg(r.MailerPath, r.UserName, r.PassWord, r.Pop3Server)
        .arg(r.Interval)
        .arg(r.PosLeft)
        .arg(r.PosTop)
        .arg(r.TopMost)
        .arg(r.SoundPath)
        .arg(r.MailCountReset)
        .toStdString();
}

TEST(SettingsUnderKill, EveryKillLeavesOneWholeRecord)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const settings::ConfigRecord a = settingsRecordA();
    const settings::ConfigRecord b = settingsRecordB();
    const QString file = platform::IniSettingsStore(folder.path()).filePath();
    // A private copy of the user's own, named like a leftover but in one case.
    const QString usersCopy = file + QStringLiteral(".backup");
    QFile copy(usersCopy);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()) && copy.open(QIODevice::WriteOnly));
    copy.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    copy.close();

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, maxDelayMicroseconds);
    SCOPED_TRACE("seed " + std::to_string(seed));

    int sawA = 0;
    int sawB = 0;
    for (int kill = 0; kill < kills; ++kill) {
        QProcess writer;
        writer.start(QStringLiteral(VINDEL_SETTINGS_WRITER), {folder.path()});
        ASSERT_TRUE(writer.waitForStarted(5000)) << writer.errorString().toStdString();
        // Nothing an earlier kill left behind may hold the next save up.
        while (!writer.canReadLine())
            ASSERT_TRUE(writer.waitForReadyRead(10000)) << "kill " << kill << ": no save finished";
        ASSERT_EQ(writer.readLine().trimmed(), "ready");
        ::usleep(static_cast<useconds_t>(delay(random)));
        ASSERT_EQ(::kill(static_cast<pid_t>(writer.processId()), SIGKILL), 0);
        ASSERT_TRUE(writer.waitForFinished(5000));
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit) << "the writer ended before it was killed";

        std::optional<diag::Failure> failure;
        const settings::ConfigRecord loaded = loadFrom(folder.path(), failure);
        ASSERT_FALSE(failure) << "kill " << kill << ": " << failure->description.toStdString();
        if (loaded == a)
            ++sawA;
        else if (loaded == b)
            ++sawB;
        else
            FAIL() << "kill " << kill << ": a mixed or torn record " << describe(loaded);
        EXPECT_EQ(modeOf(file), 0600u);
        EXPECT_EQ(modeOf(QFileInfo(file).path()), 0700u);
    }
    // Both records were seen: the kills landed on different saves.
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
    std::printf("[ figures  ] %d kills: record A %d times, record B %d times\n", kills, sawA, sawB);

    // What a kill can leave beside the file: the lock of the save it killed
    // (a process id, no settings), and at most the new file of that save,
    // which must be private.
    const QStringList others = QDir(QFileInfo(file).path())
                                   .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                                   .filter(QRegularExpression("^(?!Vindel\\.conf(\\.lock|\\.backup)?$)"));
    EXPECT_TRUE(QFileInfo::exists(usersCopy));
    EXPECT_LE(others.size(), 1);
    for (const QString& name : others) {
        const QString path = QFileInfo(file).path() + u'/' + name;
        EXPECT_EQ(modeOf(path) & 077, 0u)
            << name.toStdString() << " holds settings and is readable by others";
    }
    std::printf("[ figures  ] left beside the file: %lld (%s)\n", static_cast<long long>(others.size()),
                others.join(u' ').toStdString().c_str());
}

} // namespace
} // namespace vindel::test
