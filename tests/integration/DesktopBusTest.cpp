// The keyring and the login manager's sleep signal over D-Bus. The tests run
// on the private session bus of with-private-bus, never on the user's.
#include "Fakes.h"
#include "platform/KeychainSecretStore.h"
#include "platform/WakeWatchers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

using Answer = settings::SecretAnswer;

// Notes the answers the keyring gave to the writes.
class RecordingKeyring : public settings::SecretStore {
public:
    explicit RecordingKeyring(settings::SecretStore& inner) : m_inner(inner) {}
    void read(std::function<void(Answer, const QString&)> done) override { m_inner.read(std::move(done)); }
    void write(const QString& secret, std::function<void(Answer)> done) override
    {
        m_inner.write(secret, [this, done = std::move(done)](Answer answer) {
            written = answer;
            done(answer);
        });
    }
    std::optional<Answer> written;

private:
    settings::SecretStore& m_inner;
};

QString file(const MemorySettingsStore& store)
{
    return store.stored("PassWord") + u'|' + store.stored("PassWordInKeyring");
}

// Why the keyring cannot be tested here, or nothing once it owns its name.
QString keyringMissing()
{
    if (const QString why = qEnvironmentVariable("VINDEL_KEYRING_MISSING"); !why.isEmpty())
        return why;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus)
        return QStringLiteral("no session bus");
    const auto up = [bus] {
        return bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
    };
    if (!QTest::qWaitFor(up, 10000)) {
        QFile log(qEnvironmentVariable("VINDEL_KEYRING_LOG"));
        (void)log.open(QIODevice::ReadOnly);
        return QStringLiteral("gnome-keyring-daemon did not start: ") + QString::fromLocal8Bit(log.readAll());
    }
    return {};
}

TEST(DesktopBus, TheKeyringTakesThePasswordFromTheFileAndTheNextRunGetsItBack)
{
    if (const QString why = keyringMissing(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    platform::KeychainSecretStore keyring(QStringLiteral("Vindel-test"));
    std::optional<Answer> answer;
    keyring.read([&](Answer a, const QString&) { answer = a; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 30000));
    EXPECT_EQ(*answer, Answer::NotFound);

    const QString password = QString::fromUtf8("p\xC3\xA4ss = w;rd ");
    FakeDesktop first;
    first.store.put("PassWord", password);
    settings::ConfigStore moving{first.globals, first.store, first.window, &keyring};
    ASSERT_FALSE(moving.loadConfig());
    ASSERT_TRUE(QTest::qWaitFor([&] { return file(first.store) == "|True"; }, 30000))
        << file(first.store).toStdString();

    FakeDesktop second;
    second.store.values = first.store.values;
    settings::ConfigStore reading{second.globals, second.store, second.window, &keyring};
    ASSERT_FALSE(reading.loadConfig());
    EXPECT_TRUE(reading.passwordAwaited());
    std::optional<bool> known;
    reading.fetchPassword([&](bool k) { known = k; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return known.has_value(); }, 30000));
    EXPECT_TRUE(*known);
    EXPECT_EQ(second.globals.config.PassWord, password);
}

TEST(NoBus, WithoutAKeyringThePasswordStaysInTheFile)
{
    platform::KeychainSecretStore keyring(QStringLiteral("Vindel-test"));
    RecordingKeyring recording(keyring);
    FakeDesktop desktop;
    desktop.store.put("PassWord", "s3cret");
    settings::ConfigStore config{desktop.globals, desktop.store, desktop.window, &recording};
    ASSERT_FALSE(config.loadConfig());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.written.has_value(); }, 30000));
    EXPECT_NE(*recording.written, Answer::Done);
    config.saveConfig();
    EXPECT_EQ(file(desktop.store), "s3cret|False");
}

TEST(DesktopBus, AResumeIsHeardFromTheLoginManagerOnly)
{
    if (const QString why = qEnvironmentVariable("VINDEL_BUS_MISSING"); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    QDBusConnection manager =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("manager"));
    QDBusConnection impostor =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    ASSERT_TRUE(manager.registerService(QStringLiteral("org.freedesktop.login1")));
    int resumes = 0;
    platform::SleepWatcher watcher(QDBusConnection::sessionBus(), [&] { ++resumes; });
    ASSERT_TRUE(watcher.isWatching());

    const auto prepareForSleep = [](QDBusConnection& from, bool starting) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << starting;
        ASSERT_TRUE(from.send(signal));
    };
    prepareForSleep(manager, true);   // going to sleep
    prepareForSleep(impostor, false); // not the login manager
    prepareForSleep(manager, false);  // awake again
    ASSERT_TRUE(QTest::qWaitFor([&] { return resumes > 0; }, 10000));
    QTest::qWait(300);
    EXPECT_EQ(resumes, 1);
}

} // namespace
} // namespace vindel::test
