#include "platform/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vindel::test {
namespace {
using platform::IniSettingsStore;

const QString app = QStringLiteral("Vindel");
const QString section = QStringLiteral("Config");

mode_t modeOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

class IniSettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir m_folder;
    QString appFolder() const { return m_folder.filePath(app); }
    QString file() const { return m_folder.filePath(app + u'/' + app + QStringLiteral(".conf")); }
};

TEST_F(IniSettingsStoreTest, ValuesComeBackAsTheSameTextInALaterRun)
{
    const QList<QPair<QString, QString>> values = {
        {"TopMost", "True"},
        {"Interval", "10"},
        {"PosLeft", "-300"},
        {"MailerPath", "/opt/mail program/bin/mail --to=a,b"},
        {"SoundPath", "/home/user/My Sounds/new mail.wav"},
        {"PassWord", " p@ss=w;rd\"#\\ "},
        {"UserName", "@Variant(x)"},
        {"Pop3Server", QString::fromUtf8("ﾒｰﾙ.example")},
        {"MailCountReset", ""},
    };
    {
        IniSettingsStore store(m_folder.path());
        for (const auto& [key, value] : values)
            ASSERT_TRUE(store.save(app, section, key, value)) << key.toStdString();
    }
    IniSettingsStore later(m_folder.path());
    for (const auto& [key, value] : values)
        EXPECT_EQ(later.get(app, section, key), value) << key.toStdString();

    QFile stored(file());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    const QByteArray text = stored.readAll();
    EXPECT_TRUE(text.startsWith("[Config]\n")) << text.constData();
    EXPECT_TRUE(text.contains("\nTopMost=True\n")) << text.constData();
    EXPECT_TRUE(text.contains("\nInterval=10\n")) << text.constData();
}

TEST_F(IniSettingsStoreTest, SaveReplacesAValue)
{
    IniSettingsStore store(m_folder.path());
    ASSERT_TRUE(store.save(app, section, "Interval", "10"));
    ASSERT_TRUE(store.save(app, section, "Interval", "25"));
    EXPECT_EQ(store.get(app, section, "Interval"), "25");
}

TEST_F(IniSettingsStoreTest, AnythingAbsentIsTheEmptyText)
{
    IniSettingsStore store(m_folder.path());
    EXPECT_EQ(store.get(app, section, "UserName"), QString()); // no file at all
    EXPECT_FALSE(QFile::exists(appFolder()));                  // and reading created none

    ASSERT_TRUE(store.save(app, section, "UserName", "alice"));
    EXPECT_EQ(store.get(app, section, "PassWord"), QString());
    EXPECT_EQ(store.get(app, "Other", "UserName"), QString());
    EXPECT_EQ(store.get("OtherApp", section, "UserName"), QString());
    EXPECT_TRUE(store.get(app, section, "PassWord").isEmpty());
}

TEST_F(IniSettingsStoreTest, FolderAndFileAreCreatedOwnerOnly)
{
    IniSettingsStore store(m_folder.filePath("config")); // the base folder is created too
    ASSERT_TRUE(store.save(app, section, "PassWord", "secret"));
    EXPECT_EQ(modeOf(m_folder.filePath("config/" + app)), 0700u);
    EXPECT_EQ(modeOf(m_folder.filePath("config/" + app + "/" + app + ".conf")), 0600u);
    ASSERT_TRUE(store.save(app, section, "PassWord", "changed"));
    EXPECT_EQ(modeOf(m_folder.filePath("config/" + app + "/" + app + ".conf")), 0600u);
}

TEST_F(IniSettingsStoreTest, ExistingReadableFileIsTightenedWhenOpened)
{
    ASSERT_TRUE(QDir().mkpath(appFolder()));
    QFile existing(file());
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("[Config]\nPassWord=old\n");
    existing.close();
    ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(appFolder()).constData(), 0755), 0);

    IniSettingsStore store(m_folder.path());
    EXPECT_EQ(store.get(app, section, "PassWord"), "old");
    EXPECT_EQ(modeOf(file()), 0600u);
    EXPECT_EQ(modeOf(appFolder()), 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0644), 0);
    ASSERT_TRUE(store.save(app, section, "PassWord", "new"));
    EXPECT_EQ(modeOf(file()), 0600u);
}

TEST_F(IniSettingsStoreTest, HandEditedUnquotedListReadsAsText)
{
    ASSERT_TRUE(QDir().mkpath(appFolder()));
    QFile existing(file());
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("[Config]\nMailerPath=mailer --to=a,b\n");
    existing.close();
    EXPECT_EQ(IniSettingsStore(m_folder.path()).get(app, section, "MailerPath"), "mailer --to=a,b");
}

TEST_F(IniSettingsStoreTest, SaveReportsFailure)
{
    // A file where the folder should be.
    QFile blocker(m_folder.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    IniSettingsStore store(m_folder.filePath("blocked"));
    EXPECT_FALSE(store.save(app, section, "UserName", "alice"));
    EXPECT_EQ(store.get(app, section, "UserName"), QString());

    IniSettingsStore good(m_folder.path());
    EXPECT_FALSE(good.save("../escape", section, "UserName", "alice"));
    EXPECT_FALSE(good.save(app, QString(), "UserName", "alice"));
}

} // namespace
} // namespace vindel::test
