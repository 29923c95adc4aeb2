// The keyring, the login manager's sleep signal and NetworkManager's state
// over D-Bus. The tests run on the private session bus of with-private-bus,
// never on the user's. The routing table's test runs in a network of its own.
#include "Fakes.h"
#include "platform/KeychainSecretStore.h"
#include "platform/WakeWatchers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

using Answer = settings::SecretAnswer;

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
    settings::WindowPlacement place;
    FakeDesktop first;
    first.store.put("PassWord", password);
    settings::ConfigStore moving{first.globals, first.store, &keyring};
    ASSERT_FALSE(moving.loadConfig(place));
    ASSERT_TRUE(QTest::qWaitFor([&] { return file(first.store) == "|True"; }, 30000))
        << file(first.store).toStdString();

    FakeDesktop second;
    second.store.values = first.store.values;
    settings::ConfigStore reading{second.globals, second.store, &keyring};
    ASSERT_FALSE(reading.loadConfig(place));
    EXPECT_TRUE(second.globals.config.PassWord.isEmpty()); // awaited from the keyring
    std::optional<bool> known;
    reading.fetchPassword([&](bool k) { known = k; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return known.has_value(); }, 30000));
    EXPECT_TRUE(*known);
    EXPECT_EQ(second.globals.config.PassWord, password);

    // Locked, and no one to unlock it (the unlocking declined): the keyring
    // answers "not found", and the password is still awaited, not taken as none.
    QDBusMessage lock = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    lock << QVariant::fromValue(
        QList<QDBusObjectPath>{QDBusObjectPath("/org/freedesktop/secrets/collection/login")});
    ASSERT_EQ(QDBusConnection::sessionBus().call(lock).type(), QDBusMessage::ReplyMessage);
    FakeDesktop third;
    third.store.values = first.store.values;
    settings::ConfigStore locked{third.globals, third.store, &keyring};
    ASSERT_FALSE(locked.loadConfig(place));
    known.reset();
    locked.fetchPassword([&](bool k) { known = k; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return known.has_value(); }, 30000));
    EXPECT_FALSE(*known);
    locked.saveConfig();
    EXPECT_EQ(file(third.store), "|True");
}

TEST(NoBus, WithoutABusTheKeyringAnswersThatItCannotKeepThePassword)
{
    // The settings then keep the password in the file (the unit tests follow that road).
    platform::KeychainSecretStore keyring(QStringLiteral("Vindel-test"));
    std::optional<Answer> written, read;
    keyring.write(QStringLiteral("s3cret"), [&](Answer a) { written = a; });
    keyring.read([&](Answer a, const QString&) { read = a; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return written && read; }, 30000));
    EXPECT_NE(*written, Answer::Done);
    EXPECT_NE(*read, Answer::Done);
    EXPECT_NE(*read, Answer::NotFound); // "not found" would be taken as "no password"
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
    EXPECT_FALSE(QTest::qWaitFor([&] { return resumes > 1; }, 300));
}

// NetworkManager's object, as far as the watcher asks it: its State property.
struct FakeNetworkManager : QDBusVirtualObject {
    uint state = 0;
    bool asked = false;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override
    {
        asked = true;
        return bus.send(message.createReply(QVariant::fromValue(QDBusVariant(state))));
    }
};

TEST(DesktopBus, TheNetworkIsBackWhenNetworkManagerRisesToTheLocalNetworkOrBeyond)
{
    if (const QString why = qEnvironmentVariable("VINDEL_BUS_MISSING"); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    auto manager = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "manager");
    auto impostor = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "other");
    const QString name = "org.freedesktop.NetworkManager", path = "/org/freedesktop/NetworkManager";
    ASSERT_TRUE(manager.registerService(name));
    const auto stateChanged = [&](QDBusConnection& from, uint state) {
        ASSERT_TRUE(from.send(QDBusMessage::createSignal(path, name, "StateChanged") << state));
    };
    // 0 unknown, 20 disconnected, 40 connecting, 50 local network, 70 global.
    using Row = std::tuple<uint, uint, bool, int>; // before, after, from the manager, calls back
    for (const auto& [before, after, fromManager, back] :
         {Row{20, 70, true, 1}, Row{70, 70, true, 0}, Row{70, 20, true, 0}, Row{40, 50, true, 1},
          Row{20, 40, true, 0}, Row{0, 20, true, 0}, Row{20, 70, false, 0}}) {
        SCOPED_TRACE(testing::Message() << before << " -> " << after << (fromManager ? "" : " (impostor)"));
        FakeNetworkManager fake;
        fake.state = before;
        ASSERT_TRUE(manager.registerVirtualObject(path, &fake));
        int calls = 0;
        platform::NetworkWatcher watcher(QDBusConnection::sessionBus(), [&] { ++calls; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return fake.asked; }, 10000));
        stateChanged(fromManager ? manager : impostor, after);
        // The bus has passed that signal on before it answers this call; a
        // fall and a rise heard after it close the row.
        (void)impostor.interface()->isServiceRegistered(name);
        stateChanged(manager, 20);
        stateChanged(manager, 70);
        ASSERT_TRUE(QTest::qWaitFor([&] { return calls > back; }, 10000));
        EXPECT_FALSE(QTest::qWaitFor([&] { return calls > back + 1; }, 300));
        manager.unregisterObject(path);
    }
}

// Without NetworkManager: a default route that appears in a network of the
// test's own. The test runs itself again in a new user and network namespace,
// where it may add links and routes.
TEST(Routes, ANewDefaultRouteIsTheNetworkComingBack)
{
    if (!qEnvironmentVariableIsSet("VINDEL_OWN_NETWORK")) {
        QProcess inside;
        inside.setProcessChannelMode(QProcess::MergedChannels);
        inside.start(QStringLiteral("unshare"),
                     {"-rn", "env", "VINDEL_OWN_NETWORK=1", QCoreApplication::applicationFilePath(),
                      "--gtest_filter=Routes.*"});
        ASSERT_TRUE(inside.waitForFinished(60000)) << inside.errorString().toStdString();
        const std::string output = inside.readAll().toStdString();
        if (output.starts_with("unshare:") || output.find("[  SKIPPED ]") != std::string::npos)
            GTEST_SKIP() << output; // no namespaces allowed here, or no link to route through
        EXPECT_EQ(inside.exitCode(), 0) << output;
        return;
    }
    // A new namespace has no routes; the watcher reads that table as it asks.
    int calls = 0;
    platform::NetworkWatcher watcher(QDBusConnection(QStringLiteral("no bus")), [&] { ++calls; });
    // A pair of virtual Ethernet links (the dummy link's driver is missing from some kernels).
    if (QProcess::execute("sh", {"-c", "ip link add d0 type veth peer name d1 && ip link set d1 up &&"
                                       " ip link set d0 up && ip route add default dev d0"}) != 0)
        GTEST_SKIP() << "no virtual Ethernet link can be made here";
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 10000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return calls > 1; }, 300));
}

} // namespace
} // namespace vindel::test
