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
#include <QStandardPaths>
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
    // gives no password, and the password is still awaited, not taken as none.
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

// What earlier versions stored is read and replaced; another program's item
// with the same server and user is left alone. secret-tool stores them.
TEST(DesktopBus, APasswordKeptByEarlierVersionsIsReadAndReplacedAndNoOtherItemTouched)
{
    if (const QString why = keyringMissing(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    if (QStandardPaths::findExecutable(QStringLiteral("secret-tool")).isEmpty())
        GTEST_SKIP() << "secret-tool is not installed (tools/install-deps --test)";
    const auto secretTool = [](const QStringList& arguments, const QByteArray& input = {}) {
        QProcess tool;
        tool.start(QStringLiteral("secret-tool"), arguments);
        tool.write(input);
        tool.closeWriteChannel();
        EXPECT_TRUE(tool.waitForFinished(30000)) << arguments.join(u' ').toStdString();
        return QString::fromUtf8(tool.readAllStandardOutput());
    };
    const QStringList mine{"server", "Vindel-test", "user", "PassWord", "type", "plaintext"};
    secretTool(QStringList{"store", "--label=Vindel-test"} + mine +
                   QStringList{"xdg:schema", "org.qt.keychain"},
               "earlier");
    secretTool(QStringList{"store", "--label=Other"} + mine + QStringList{"xdg:schema", "org.example.Other"},
               "other's");

    platform::KeychainSecretStore keyring(QStringLiteral("Vindel-test"));
    std::optional<Answer> answer;
    QString secret;
    keyring.read([&](Answer a, const QString& s) { answer = a, secret = s; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 30000));
    EXPECT_EQ(*answer, Answer::Done);
    EXPECT_EQ(secret, "earlier");
    answer.reset();
    keyring.write(QStringLiteral("newer"), [&](Answer a) { answer = a; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 30000));
    EXPECT_EQ(*answer, Answer::Done);

    EXPECT_EQ(secretTool(QStringList{"lookup"} + mine + QStringList{"xdg:schema", "org.qt.keychain"}),
              "newer");
    EXPECT_EQ(secretTool(QStringList{"lookup"} + mine + QStringList{"xdg:schema", "org.example.Other"}),
              "other's");
    EXPECT_EQ(secretTool(QStringList{"search", "--all"} + mine).count(QStringLiteral("label = ")), 2);
}

// Earlier versions' password in Plasma's wallet, made and opened as the login
// does (a throwaway key for the hash), written as those versions did.
TEST(DesktopBus, APasswordKeptInPlasmasWalletIsFoundAndCopiedIntoTheKeyring)
{
    if (const QString why = keyringMissing() + qEnvironmentVariable("VINDEL_WALLET_MISSING"); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    if (QStandardPaths::findExecutable(QStringLiteral("secret-tool")).isEmpty())
        GTEST_SKIP() << "secret-tool is not installed (tools/install-deps --test)";
    const auto wallet = [](const char* method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall("org.kde.kwalletd5", "/modules/kwalletd5",
                                                           "org.kde.KWallet", QString::fromLatin1(method));
        call.setArguments(arguments);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 30000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method;
        return reply.arguments().value(0);
    };
    const QString app = QStringLiteral("Vindel-test"), password = QString::fromUtf8("w\xC3\xA4llet = p;w ");
    const auto login = [&] {
        wallet("pamOpen", {"kdewallet", QByteArray(56, 'k'), 0});
        EXPECT_TRUE(QTest::qWaitFor([&] { return wallet("isOpen", {"kdewallet"}).toBool(); }, 30000));
        return wallet("open", {"kdewallet", qlonglong(0), app}).toInt();
    };
    const auto bus = QDBusConnection::sessionBus().interface();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return bus->isServiceRegistered("org.kde.kwalletd5").value(); }, 30000));
    ASSERT_EQ(wallet("writePassword", {login(), "Other", "PassWord", "x", app}), 0); // another program's
    wallet("close", {"kdewallet", true});

    platform::KeychainSecretStore keyring(app);
    std::optional<Answer> answer, written;
    QString secret;
    const auto read = [&](platform::KeychainSecretStore& store) {
        answer.reset();
        store.read([&](Answer a, const QString& s) { answer = a, secret = s; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 60000));
    };
    read(keyring); // closed, without the key: not opened, so its password is not asked for
    EXPECT_EQ(answer, Answer::NotFound);

    const int handle = login();
    ASSERT_EQ(wallet("writePassword", {handle, app, "PassWord", password, app}), 0);
    read(keyring);
    EXPECT_EQ(answer, Answer::Done);
    EXPECT_EQ(secret, password);
    const auto secretTool = [](const char* command) {
        QProcess tool;
        tool.start("secret-tool", {command, "server", "Vindel-test", "user", "PassWord", "type", "plaintext",
                                   "xdg:schema", "org.qt.keychain"});
        EXPECT_TRUE(tool.waitForFinished(30000));
        return QString::fromUtf8(tool.readAllStandardOutput());
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return secretTool("lookup") == password; }, 30000));
    EXPECT_EQ(wallet("readPassword", {handle, app, "PassWord", app}).toString(), password); // still there

    // Gone from the keyring again, and a new password written while the
    // wallet is read: the wallet's does not overwrite it. A fresh store's
    // read follows any copy on the bus.
    secretTool("clear");
    answer.reset();
    keyring.read([&](Answer a, const QString&) { answer = a; });
    keyring.write(QStringLiteral("newer"), [&](Answer a) { written = a; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer && written; }, 60000));
    platform::KeychainSecretStore fresh(app);
    read(fresh);
    EXPECT_EQ(secret, "newer");
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
