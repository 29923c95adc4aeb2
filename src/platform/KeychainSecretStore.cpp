#include "platform/KeychainSecretStore.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace vindel::platform {
namespace {

using settings::SecretAnswer;
using Attributes = QMap<QString, QString>;
using Paths = QList<QDBusObjectPath>;

constexpr QLatin1String secretsName("org.freedesktop.secrets");
constexpr QLatin1String servicePath("/org/freedesktop/secrets");
constexpr QLatin1String defaultCollection("/org/freedesktop/secrets/aliases/default");
constexpr QLatin1String serviceInterface("org.freedesktop.Secret.Service");
constexpr QLatin1String collectionInterface("org.freedesktop.Secret.Collection");
constexpr QLatin1String itemInterface("org.freedesktop.Secret.Item");
constexpr QLatin1String promptInterface("org.freedesktop.Secret.Prompt");
constexpr QLatin1String sessionInterface("org.freedesktop.Secret.Session");

// Plasma's wallet through its own interface, where earlier versions kept the
// password on that desktop: the Plasma 6 name first, then the Plasma 5 one
// (which the Plasma 6 daemon answers too).
constexpr std::pair<QLatin1String, QLatin1String> wallets[] = {
    {QLatin1String("org.kde.kwalletd6"), QLatin1String("/modules/kwalletd6")},
    {QLatin1String("org.kde.kwalletd5"), QLatin1String("/modules/kwalletd5")}};
constexpr QLatin1String walletInterface("org.kde.KWallet");
constexpr int walletPassword = 1; // the wallet's entry type for a password (not a stream or a map)

constexpr int callLimitMs = 25000;           // one call (the bus's usual limit; the keyring may be starting)
constexpr int promptLimitMs = 5 * 60 * 1000; // the user typing the keyring's password

bool isNone(const QDBusObjectPath& path)
{
    return path.path().isEmpty() || path.path() == QLatin1String("/");
}

// No keyring on this desktop: no bus, no service of that name, or one that
// could not be started. Anything else the keyring said is a refusal.
SecretAnswer answerTo(const QString& name)
{
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NoServer") ||
        name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn.")))
        return SecretAnswer::NoKeyring;
    return SecretAnswer::Refused;
}

// One read or write, from its first call to its answer. Each step is an
// asynchronous call with a time limit; a prompt (the keyring asking its user
// to unlock it, or to make the default collection) is awaited through its
// Completed signal, also within a limit. Answers once, then deletes itself.
//
// The secret crosses the bus as it is (the "plain" algorithm): the session
// bus is the user's own, reachable by no other user.
class SecretRequest : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(SecretAnswer, const QString&)>;
    using Found = std::function<void(const QString&)>;

    SecretRequest(QObject* owner, const QString& service, const QString& key, Done done)
        : QObject(owner), m_bus(QDBusConnection::sessionBus()), m_done(std::move(done)), m_label(service),
          m_key(key),
          // What earlier versions stored through their keyring library
          // (libsecret's schema "org.qt.keychain"), checked on a real keyring.
          m_attributes{{QStringLiteral("server"), service},
                       {QStringLiteral("user"), key},
                       {QStringLiteral("type"), QStringLiteral("plaintext")},
                       {QStringLiteral("xdg:schema"), QStringLiteral("org.qt.keychain")}}
    {
        m_promptLimit.setSingleShot(true);
        connect(&m_promptLimit, &QTimer::timeout, this, [this] { abandon(); });
    }

    // The first item with the attributes, unlocked if need be. None there:
    // the wallet entry earlier versions kept on Plasma, whose password
    // `found` gets to copy into the keyring.
    void read(Found found)
    {
        if (!connected())
            return;
        m_found = std::move(found);
        call(
            servicePath, serviceInterface, QStringLiteral("SearchItems"), {QVariant::fromValue(m_attributes)},
            [this](const QVariantList& out) {
                const auto unlocked = qdbus_cast<Paths>(out.value(0));
                const auto locked = qdbus_cast<Paths>(out.value(1));
                if (!unlocked.isEmpty())
                    getSecret(unlocked.first());
                else if (locked.isEmpty())
                    readWallet(SecretAnswer::NotFound);
                else
                    unlock(locked.first(), [this](const Paths& opened) {
                        if (opened.isEmpty())
                            finish(SecretAnswer::Refused);
                        else
                            getSecret(opened.first());
                    });
            },
            [this](const QString& error) {
                if (answerTo(error) != SecretAnswer::NoKeyring)
                    return false;
                readWallet(SecretAnswer::NoKeyring);
                return true;
            });
    }

    // Into the default collection, replacing the item with the same
    // attributes; the collection is made if there is none, and unlocked.
    void write(const QString& secret)
    {
        m_secret = secret.toUtf8();
        if (connected())
            openSession([this] { createItem(); });
    }

    // Ends the request unanswered, its prompt dismissed.
    void abandon()
    {
        if (!m_prompt.isEmpty())
            call(m_prompt, promptInterface, QStringLiteral("Dismiss"), {}, [](const QVariantList&) {});
        m_done = [](SecretAnswer, const QString&) {};
        finish(SecretAnswer::Refused);
    }

private slots:
    void completed(bool dismissed, const QDBusVariant& result)
    {
        stopWaiting();
        if (dismissed) {
            finish(SecretAnswer::Refused);
            return;
        }
        auto next = std::exchange(m_afterPrompt, nullptr);
        if (next)
            next(result.variant());
    }

private:
    bool connected()
    {
        if (m_bus.isConnected())
            return true;
        QTimer::singleShot(0, this, [this] { finish(SecretAnswer::NoKeyring); });
        return false;
    }

    // Calls a method of the keyring. `next` gets the reply's arguments; an
    // error goes to `failed` when it handles it, or else answers the request.
    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments, std::function<void(const QVariantList&)> next,
              std::function<bool(const QString&)> failed = {})
    {
        callOn(secretsName, callLimitMs, path, interface, method, arguments, std::move(next),
               std::move(failed));
    }

    void callOn(const QString& service, int limitMs, const QString& path, const QString& interface,
                const QString& method, const QVariantList& arguments,
                std::function<void(const QVariantList&)> next, std::function<bool(const QString&)> failed)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, limitMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, watcher, next = std::move(next), failed = std::move(failed)] {
                    watcher->deleteLater();
                    const QDBusMessage reply = watcher->reply();
                    if (m_finished)
                        return;
                    if (reply.type() == QDBusMessage::ReplyMessage) {
                        m_keyring = reply.service();
                        next(reply.arguments());
                    } else if (!failed || !failed(reply.errorName())) {
                        finish(answerTo(reply.errorName()));
                    }
                });
    }

    // Lets the keyring show its prompt and hands on the prompt's result;
    // dismissed, or not done within the limit, the request is refused.
    void await(const QDBusObjectPath& prompt, std::function<void(const QVariant&)> next)
    {
        m_prompt = prompt.path();
        m_afterPrompt = std::move(next);
        // By the keyring's unique name: the signal comes from it, and Qt does
        // not have to ask the bus who owns the well-known name.
        m_bus.connect(m_keyring, m_prompt, promptInterface, QStringLiteral("Completed"), this,
                      SLOT(completed(bool, QDBusVariant)));
        m_promptLimit.start(promptLimitMs);
        call(m_prompt, promptInterface, QStringLiteral("Prompt"), {QString()}, [](const QVariantList&) {});
    }

    void stopWaiting()
    {
        if (m_prompt.isEmpty())
            return;
        m_promptLimit.stop();
        m_bus.disconnect(m_keyring, m_prompt, promptInterface, QStringLiteral("Completed"), this,
                         SLOT(completed(bool, QDBusVariant)));
        m_prompt.clear();
    }

    // Calls `next` with the call's own objects, or those its prompt gave.
    void afterPrompt(const QVariantList& out, std::function<void(const QVariant&)> next)
    {
        const auto prompt = out.value(1).value<QDBusObjectPath>();
        if (isNone(prompt))
            next(out.value(0));
        else
            await(prompt, std::move(next));
    }

    void unlock(const QDBusObjectPath& object, std::function<void(const Paths&)> next)
    {
        call(servicePath, serviceInterface, QStringLiteral("Unlock"), {QVariant::fromValue(Paths{object})},
             [this, next = std::move(next)](const QVariantList& out) {
                 afterPrompt(out, [next](const QVariant& opened) { next(qdbus_cast<Paths>(opened)); });
             });
    }

    void openSession(std::function<void()> next)
    {
        call(servicePath, serviceInterface, QStringLiteral("OpenSession"),
             {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))},
             [this, next = std::move(next)](const QVariantList& out) {
                 m_session = out.value(1).value<QDBusObjectPath>();
                 next();
             });
    }

    void getSecret(const QDBusObjectPath& item)
    {
        openSession([this, item] {
            call(item.path(), itemInterface, QStringLiteral("GetSecret"), {QVariant::fromValue(m_session)},
                 [this](const QVariantList& out) {
                     const auto secret = out.value(0).value<QDBusArgument>();
                     QDBusObjectPath session;
                     QByteArray parameters, value;
                     QString contentType;
                     secret.beginStructure();
                     secret >> session >> parameters >> value >> contentType;
                     secret.endStructure();
                     finish(SecretAnswer::Done, QString::fromUtf8(value));
                 });
        });
    }

    void createItem()
    {
        QDBusArgument secret;
        secret.beginStructure();
        secret << m_session << QByteArray() << m_secret << QStringLiteral("text/plain");
        secret.endStructure();
        const QVariantMap properties{
            {QStringLiteral("org.freedesktop.Secret.Item.Label"), m_label},
            {QStringLiteral("org.freedesktop.Secret.Item.Attributes"), QVariant::fromValue(m_attributes)}};
        call(
            defaultCollection, collectionInterface, QStringLiteral("CreateItem"),
            {properties, QVariant::fromValue(secret), true},
            [this](const QVariantList& out) {
                afterPrompt(out, [this](const QVariant& item) {
                    finish(isNone(qdbus_cast<QDBusObjectPath>(item)) ? SecretAnswer::Refused
                                                                     : SecretAnswer::Done);
                });
            },
            [this](const QString& error) { return retryCreate(error); });
    }

    // No default collection: one is made, named as the keyring library of
    // earlier versions named it. A locked one: unlocked. Each once.
    bool retryCreate(const QString& error)
    {
        if (!m_collectionMade && (error == QLatin1String("org.freedesktop.Secret.Error.NoSuchObject") ||
                                  error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
                                  error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))) {
            m_collectionMade = true;
            const QVariantMap properties{{QStringLiteral("org.freedesktop.Secret.Collection.Label"),
                                          QStringLiteral("Default keyring")}};
            call(servicePath, serviceInterface, QStringLiteral("CreateCollection"),
                 {properties, QStringLiteral("default")}, [this](const QVariantList& out) {
                     afterPrompt(out, [this](const QVariant&) { createItem(); });
                 });
            return true;
        }
        if (!m_unlocked && error == QLatin1String("org.freedesktop.Secret.Error.IsLocked")) {
            m_unlocked = true;
            unlock(QDBusObjectPath(defaultCollection), [this](const Paths&) { createItem(); });
            return true;
        }
        return false;
    }

    // The password as earlier versions kept it in Plasma's wallet: in the
    // network wallet, folder and application named after the service, the
    // key's entry of the password type. The entry is only read. A closed
    // wallet is opened only where its file lists the key, so that its
    // password is asked for nothing; an open one is asked directly (the
    // daemon's list of an open wallet's keys misses those added since it was
    // opened). Found nowhere, the keyring's own answer stands.
    void readWallet(SecretAnswer otherwise, std::size_t wallet = 0)
    {
        if (wallet == std::size(wallets)) {
            finish(otherwise);
            return;
        }
        m_wallet = wallet;
        callWallet(
            callLimitMs, QStringLiteral("networkWallet"), {},
            [this, otherwise](const QVariantList& out) {
                const QString name = out.value(0).toString();
                callWallet(callLimitMs, QStringLiteral("isOpen"), {name},
                           [this, otherwise, name](const QVariantList& out) {
                               if (out.value(0).toBool()) {
                                   openWallet(name, otherwise);
                                   return;
                               }
                               callWallet(callLimitMs, QStringLiteral("keyDoesNotExist"),
                                          {name, m_label, m_key},
                                          [this, otherwise, name](const QVariantList& out) {
                                              if (out.value(0).toBool())
                                                  finish(otherwise);
                                              else
                                                  openWallet(name, otherwise);
                                          });
                           });
            },
            [this, otherwise, wallet](const QString& error) {
                if (answerTo(error) == SecretAnswer::NoKeyring)
                    readWallet(otherwise, wallet + 1);
                else
                    finish(otherwise);
                return true;
            });
    }

    // Opening may ask the user for the wallet's password: as long a limit
    // as the keyring's prompt, and declined or late, a refusal. The wallet is
    // handed back when the request ends (it stays open if others use it).
    void openWallet(const QString& name, SecretAnswer otherwise)
    {
        callWallet(
            promptLimitMs, QStringLiteral("open"), {name, qlonglong(0), m_label},
            [this, otherwise](const QVariantList& out) {
                m_handle = out.value(0).toInt();
                if (m_handle < 0) {
                    finish(SecretAnswer::Refused);
                    return;
                }
                const QVariantList entry{m_handle, m_label, m_key, m_label};
                callWallet(callLimitMs, QStringLiteral("entryType"), entry,
                           [this, otherwise, entry](const QVariantList& out) {
                               if (out.value(0).toInt() != walletPassword) {
                                   finish(otherwise);
                                   return;
                               }
                               callWallet(callLimitMs, QStringLiteral("readPassword"), entry,
                                          [this](const QVariantList& out) {
                                              const QString secret = out.value(0).toString();
                                              if (auto found = std::exchange(m_found, nullptr))
                                                  found(secret);
                                              finish(SecretAnswer::Done, secret);
                                          });
                           });
            },
            [this](const QString&) {
                finish(SecretAnswer::Refused);
                return true;
            });
    }

    void callWallet(int limitMs, const QString& method, const QVariantList& arguments,
                    std::function<void(const QVariantList&)> next,
                    std::function<bool(const QString&)> failed = {})
    {
        callOn(wallets[m_wallet].first, limitMs, wallets[m_wallet].second, walletInterface, method, arguments,
               std::move(next), std::move(failed));
    }

    void finish(SecretAnswer answer, const QString& secret = QString())
    {
        if (m_finished)
            return;
        m_finished = true;
        stopWaiting();
        if (!isNone(m_session))
            m_bus.send(QDBusMessage::createMethodCall(secretsName, m_session.path(), sessionInterface,
                                                      QStringLiteral("Close")));
        if (m_handle >= 0) {
            QDBusMessage close = QDBusMessage::createMethodCall(
                wallets[m_wallet].first, wallets[m_wallet].second, walletInterface, QStringLiteral("close"));
            close.setArguments({m_handle, false, m_label});
            m_bus.send(close);
        }
        deleteLater();
        m_done(answer, secret);
    }

    QDBusConnection m_bus;
    Done m_done;
    QString m_label;
    QString m_key;
    Attributes m_attributes;
    Found m_found;
    std::size_t m_wallet = 0; // which of the wallet's bus names answers
    int m_handle = -1;        // the wallet opened, if any
    QByteArray m_secret;
    QString m_keyring; // the unique bus name of the keyring that answered
    QDBusObjectPath m_session;
    QString m_prompt; // the prompt awaited, if any
    std::function<void(const QVariant&)> m_afterPrompt;
    QTimer m_promptLimit;
    bool m_collectionMade = false;
    bool m_unlocked = false;
    bool m_finished = false;
};

} // namespace

KeychainSecretStore::KeychainSecretStore(QString service, QString key)
    : m_service(std::move(service)), m_key(std::move(key))
{
    qDBusRegisterMetaType<Attributes>();
}

void KeychainSecretStore::read(std::function<void(settings::SecretAnswer, const QString& secret)> done)
{
    // A password found in the wallet is copied into the keyring, where the
    // next start finds it; unless a newer one was written meanwhile.
    (new SecretRequest(&m_requests, m_service, m_key, std::move(done)))
        ->read([this, writes = m_writes](const QString& secret) {
            if (writes != m_writes)
                return;
            auto* copy =
                new SecretRequest(&m_requests, m_service, m_key, [](SecretAnswer, const QString&) {});
            m_copy = copy;
            copy->write(secret);
        });
}

void KeychainSecretStore::write(const QString& secret, std::function<void(settings::SecretAnswer)> done)
{
    // A copy from the wallet still under way would put back an older password.
    ++m_writes;
    if (auto* copy = qobject_cast<SecretRequest*>(m_copy.data()))
        copy->abandon();
    (new SecretRequest(&m_requests, m_service, m_key,
                       [done = std::move(done)](SecretAnswer answer, const QString&) { done(answer); }))
        ->write(secret);
}

} // namespace vindel::platform

#include "KeychainSecretStore.moc"
