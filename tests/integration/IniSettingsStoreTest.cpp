#include "platform/IniSettingsStore.h"

#include "Fakes.h"
#include "settings/ConfigKeys.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vindel::test {
namespace {
using platform::IniSettingsStore;

const QString app = "Vindel";
const QString section = "Config";

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
    QString file() const { return m_folder.filePath(app + u'/' + app + ".conf"); }
    void writeFile(const QByteArray& bytes) const
    {
        ASSERT_TRUE(QDir().mkpath(appFolder()));
        QFile existing(file());
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write(bytes);
    }
    QByteArray fileBytes() const
    {
        QFile stored(file());
        return stored.open(QIODevice::ReadOnly) ? stored.readAll() : QByteArray();
    }
};

// The whole behaviour on the real store in a folder, with the rest faked.
struct StoreHarness : FakeDesktop {
    explicit StoreHarness(const QString& folder) : ini(folder) {}
    platform::IniSettingsStore ini;
    settings::ConfigStore iniConfig{globals, ini};
    FakeTcpClient tcp{journal};
    FakeTimer checkTimer;
    FakeTimer replyTimer;
    shell::PopChk popChk{globals,
                         {.network = tcp,
                          .timers = {.check = checkTimer, .reply = replyTimer},
                          .clock = clock,
                          .log = systemLog,
                          .settings = iniConfig,
                          .desktop = *this}};
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
        {"Controls", QStringLiteral("a\r\nb") + QChar(0) +
                         QStringLiteral("7\t\x01"
                                        "f\\x;")},
    };
    {
        IniSettingsStore store(m_folder.path());
        for (const auto& [key, value] : values)
            ASSERT_TRUE(store.saveAll({{key, value}})) << key.toStdString();
    }
    IniSettingsStore later(m_folder.path());
    for (const auto& [key, value] : values)
        EXPECT_EQ(later.get(key), value) << key.toStdString();

    const QByteArray text = fileBytes();
    EXPECT_TRUE(text.startsWith("[Config]\n")) << text.constData();
    EXPECT_TRUE(text.contains("\nTopMost=True\n")) << text.constData();
    EXPECT_TRUE(text.contains("\nInterval=10\n")) << text.constData();

    // The file stays in the dialect QSettings reads and writes, both ways.
    QSettings reader(file(), QSettings::IniFormat);
    reader.beginGroup(section);
    for (const auto& [key, value] : values)
        EXPECT_EQ(reader.value(key).toString(), value) << key.toStdString();
    reader.endGroup();
    QFile::remove(file());
    {
        QSettings writer(file(), QSettings::IniFormat);
        writer.beginGroup(section);
        for (const auto& [key, value] : values)
            writer.setValue(key, value);
    }
    for (const auto& [key, value] : values)
        EXPECT_EQ(IniSettingsStore(m_folder.path()).get(key), value) << key.toStdString();
}

TEST_F(IniSettingsStoreTest, SaveWritesTheKeysInTheirOrderAndKeepsTheRestOfTheFile)
{
    writeFile("; written by hand\n"
              "[Window]\nTheme=dark\n\n"
              "[Config]\nInterval=5\nExtra=kept ; a note\nUserName=old\n\n"
              "[Later]\nA=1");
    IniSettingsStore store(m_folder.path());
    ASSERT_TRUE(store.saveAll({{"UserName", "alice"}, {"Interval", "10"}, {"TopMost", "False"}}));
    EXPECT_EQ(fileBytes(), "; written by hand\n"
                           "[Window]\nTheme=dark\n\n"
                           "[Config]\nUserName=alice\nInterval=10\nTopMost=False\nExtra=kept ; a note\n\n"
                           "[Later]\nA=1");
    EXPECT_EQ(store.get("Extra"), "kept");

    QFile::remove(file()); // a file without the section gets it at the end
    writeFile("[Window]\nTheme=dark");
    ASSERT_TRUE(store.saveAll({{"UserName", "bob"}}));
    EXPECT_EQ(fileBytes(), "[Window]\nTheme=dark\n\n[Config]\nUserName=bob\n");
}

TEST_F(IniSettingsStoreTest, ATextThatIsNotUtf8IsSentAndKeptByteForByteUntilEdited)
{
    // 0xE4 on its own is no UTF-8: an older tool or a hand edit wrote it.
    writeFile("[Config]\nUserName=alice\nPassWord=p\xE4ss\nPop3Server=mail.example.test\n");
    StoreHarness h(m_folder.path());
    ASSERT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Running);
    ASSERT_TRUE(h.checkTimer.fire());
    h.tcp.serverSends("+OK\r\n+OK\r\n");
    EXPECT_EQ(h.tcp.sent, "USER alice\r\nPASS p\xE4ss\r\n");

    // The record is saved whole, in the order of its keys; the password the
    // program did not change keeps its byte.
    h.popChk.shutDown();
    const QByteArray saved = "[Config]\nUserName=alice\nPassWord=p\xE4ss\nPop3Server=mail.example.test\n"
                             "Interval=10\nMailerPath=\nSoundPath=\nPosLeft=8505\nPosTop=7522\n"
                             "TopMost=False\nMailCountReset=False\n";
    EXPECT_EQ(fileBytes(), saved);

    // An edited password is written, and sent, as the new text.
    h.globals.config.PassWord = QString::fromUtf8("n\xC3\xA4u");
    h.iniConfig.saveConfig();
    EXPECT_TRUE(fileBytes().contains("\nPassWord=n\xC3\xA4u\n"));
    EXPECT_EQ(h.iniConfig.passWordBytes(), "n\xC3\xA4u");
}

// A settings file, the values its [Config] lines hold and the lines a save keeps.
struct UserFile {
    QByteArray bytes;
    QHash<QString, QByteArray> values;
    QByteArray kept;
};

// A random file of section headers (one [Config] at least), comments, other
// tools' lines with stray quotes and backslashes, and the ten keys written
// plain or quoted, with bytes that are not UTF-8.
UserFile randomUserFile(std::mt19937& random)
{
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const auto junk = [&](QByteArrayView alphabet) {
        QByteArray text;
        for (int n = pick(12); n > 0; --n)
            text += alphabet[pick(int(alphabet.size()))];
        return text;
    };
    const std::pair<QByteArray, QByteArrayView> foreign[] = {
        {"; ", "a \"\\;=[]\xE4"}, {"note ", "a \"\\;[]\xE4\t"}, {"xa = ", "a \"\\;=,\xE4"}};
    UserFile file;
    const int lines = 1 + pick(14);
    for (int i = 0, header = pick(lines); i < lines; ++i) {
        const int kind = pick(5);
        QByteArray line = i == header || (kind == 3 && pick(2)) ? QByteArray("[Config]")
                          : kind < 3 ? foreign[kind].first + junk(foreign[kind].second)
                                     : QByteArray("[Other]");
        if (kind == 4 && i != header) {
            const QString key = settings::configKeys[size_t(pick(10))].key();
            const QByteArray value = junk("aZ0 .,;=\"\\@[\xE4\xFF\xC3\xA4\t");
            QByteArray written = value.startsWith('@') ? '@' + value : value;
            if (pick(2) ||
                QRegularExpression(R"([";,=\\]|^\s|\s$)").match(QString::fromLatin1(written)).hasMatch())
                written = '"' + written.replace('\\', "\\\\").replace('"', "\\\"") + '"';
            line = key.toLatin1() + (pick(2) ? "=" : " = ") + written + (pick(2) ? "" : " ; note");
            if (file.bytes.lastIndexOf("[Config]") >=
                std::max(file.bytes.lastIndexOf("[Other]"), qsizetype(0))) {
                file.values[key] = value;
                file.bytes += line + "\r\n";
                continue;
            }
        }
        file.kept += line + (pick(2) ? "\n" : "\r\n");
        file.bytes += file.kept.sliced(file.kept.lastIndexOf(line));
    }
    return file;
}

// Each file is read, saved back whole and read afresh: every value reads as
// the bytes it was written as, and the file is the same but for the ten keys.
// The first row is a note with one quote before the settings.
TEST_F(IniSettingsStoreTest, EveryFileKeepsItsValuesAndItsOtherLinesThroughASave)
{
    std::mt19937 random(std::random_device{}()); // a failing row shows its file
    const QByteArray note = "a note \"to self\n[Config]\n";
    std::vector<UserFile> rows = {
        {note + "UserName=alice\nPassWord=secret\n", {{"UserName", "alice"}, {"PassWord", "secret"}}, note}};
    while (rows.size() < 5001)
        rows.push_back(randomUserFile(random));

    // tmpfs where there is a usable one: each save waits for the disk otherwise.
    QTemporaryDir shm("/dev/shm/vindel-test-XXXXXX");
    QTemporaryDir disk;
    const QTemporaryDir& base = shm.isValid() ? shm : disk;
    ASSERT_TRUE(base.isValid());
    for (size_t row = 0; row < rows.size() && !HasFailure(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row) + ": " + rows[row].bytes.toStdString());
        const auto readBack = [&](const QString& folder, const QByteArray& bytes, bool save) {
            QList<QPair<QString, QString>> record;
            QFile file(folder + "/" + app + "/" + app + ".conf");
            EXPECT_TRUE(QDir().mkpath(folder + "/" + app) && file.open(QIODevice::WriteOnly) &&
                        file.write(bytes) == bytes.size());
            file.close();
            IniSettingsStore store(folder);
            for (const settings::ConfigKey& key : settings::configKeys) {
                record.append({key.key(), store.get(key.key())});
                EXPECT_EQ(store.storedBytes(key.key(), record.back().second),
                          rows[row].values.value(key.key()))
                    << key.name;
            }
            EXPECT_TRUE(!save || store.saveAll(record));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray saved = readBack(base.filePath(QString::number(row)), rows[row].bytes, true);
        readBack(base.filePath(QString::number(row) + "again"), saved, false);

        QByteArray others = saved; // the ten keys come right after the first [Config]
        const qsizetype keysAt = others.indexOf("\n", others.indexOf("[Config]")) + 1;
        for (const settings::ConfigKey& key : settings::configKeys) {
            ASSERT_TRUE(others.sliced(keysAt).startsWith(key.key().toLatin1() + '=')) << saved.toStdString();
            others.remove(keysAt, others.indexOf('\n', keysAt) + 1 - keysAt);
        }
        EXPECT_EQ(others, rows[row].kept);
    }
}

TEST_F(IniSettingsStoreTest, SettingsThatAreNoPlainFileOfTheUserAreRefused)
{
    struct Case {
        const char* name;
        std::function<bool(const QString& folder, const QString& file)> plant;
        int number;
        QString description;
    };
    const QString plain = m_folder.filePath("elsewhere.conf");
    const auto chownTo = [](const QString& path) {
        return ::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    };
    const std::vector<Case> cases = {
        {"a pipe (reading it would wait for ever)",
         [](const QString&, const QString& file) {
             return ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0;
         },
         75, "Path/File access error: the settings file %1 is not a plain file"},
        {"a symbolic link", [&](const QString&, const QString& file) { return QFile::link(plain, file); }, 75,
         "Path/File access error: the settings file %1 is not a plain file"},
        {"a file of another user",
         [&](const QString&, const QString& file) {
             QFile planted(file);
             return planted.open(QIODevice::WriteOnly) && planted.write("[Config]\nPassWord=x\n") > 0 &&
                    chownTo(file);
         },
         70, "Permission denied: the settings file %1 belongs to another user"},
        {"a folder of another user", [&](const QString& folder, const QString&) { return chownTo(folder); },
         70, "Permission denied: the settings folder %1 belongs to another user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir base;
        const QString folder = base.filePath(app);
        const QString path = folder + "/" + app + ".conf";
        ASSERT_TRUE(QDir().mkpath(folder));
        {
            QFile target(plain);
            ASSERT_TRUE(target.open(QIODevice::WriteOnly));
            target.write("[Config]\nPassWord=x\n");
        }
        if (!c.plant(folder, path)) {
            if (::geteuid() != 0 && c.number == 70)
                continue; // only root can give a file away; the other cases still run
            FAIL() << "could not plant it";
        }
        const bool aboutFolder = c.description.contains("folder");
        const diag::Failure expected{c.number, c.description.arg(aboutFolder ? folder : path)};

        IniSettingsStore store(base.path());
        EXPECT_EQ(store.refusal(), expected);
        EXPECT_EQ(store.get("PassWord"), QString());
        EXPECT_FALSE(store.saveAll({{"PassWord", "new"}}));
        QFile target(plain);
        ASSERT_TRUE(target.open(QIODevice::ReadOnly));
        EXPECT_EQ(target.readAll(), "[Config]\nPassWord=x\n"); // a link's target stays as it was
        EXPECT_EQ(QFileInfo(path).isSymLink(), QString(c.name) == "a symbolic link");

        // Start-up stops with the reason, the number and the description.
        StoreHarness h(base.path());
        EXPECT_EQ(h.popChk.start({}, QDir::tempPath()), shell::PopChk::StartResult::Failed);
        EXPECT_EQ(
            h.journal.filter("message"),
            QStringList{QStringLiteral("message 16 %1\r\n\r\n%2").arg(c.number).arg(expected.description)});
    }
}

TEST_F(IniSettingsStoreTest, AnythingAbsentIsTheEmptyTextAndASaveCreatesOwnerOnlyAndReplaces)
{
    IniSettingsStore store(m_folder.filePath("config"));      // the base folder is created too
    EXPECT_EQ(store.get("UserName"), QString());              // no file at all
    EXPECT_FALSE(QFile::exists(m_folder.filePath("config"))); // and reading created none

    ASSERT_TRUE(store.saveAll({{"UserName", "alice"}}));
    EXPECT_EQ(modeOf(m_folder.filePath("config/" + app)), 0700u);
    EXPECT_EQ(modeOf(m_folder.filePath("config/" + app + "/" + app + ".conf")), 0600u);
    EXPECT_EQ(store.get("PassWord"), QString());
    ASSERT_TRUE(store.saveAll({{"UserName", "bob"}}));
    EXPECT_EQ(store.get("UserName"), "bob");
    EXPECT_EQ(modeOf(m_folder.filePath("config/" + app + "/" + app + ".conf")), 0600u);

    // A file where the folder should be: no save.
    IniSettingsStore blocked(m_folder.filePath("config/" + app + "/" + app + ".conf"));
    EXPECT_FALSE(blocked.saveAll({{"UserName", "alice"}}));
    EXPECT_EQ(blocked.get("UserName"), QString());
}

TEST_F(IniSettingsStoreTest, ExistingReadableFileIsTightenedWhenOpened)
{
    writeFile("[Config]\nPassWord=old\n");
    ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(appFolder()).constData(), 0755), 0);

    IniSettingsStore store(m_folder.path());
    EXPECT_EQ(store.get("PassWord"), "old");
    EXPECT_EQ(modeOf(file()), 0600u);
    EXPECT_EQ(modeOf(appFolder()), 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0644), 0);
    ASSERT_TRUE(store.saveAll({{"PassWord", "new"}}));
    EXPECT_EQ(modeOf(file()), 0600u);
}

TEST_F(IniSettingsStoreTest, HandEditedUnquotedListReadsAsText)
{
    writeFile("[Config]\nMailerPath=mailer --to=a,b\n");
    EXPECT_EQ(IniSettingsStore(m_folder.path()).get("MailerPath"), "mailer --to=a,b");
}

} // namespace
} // namespace vindel::test
