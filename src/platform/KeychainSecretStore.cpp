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

constexpr int callLimitMs = 25000;           // one call (the bus's usual limit; the keyring may be starting)
constexpr int promptLimitMs = 5 * 60 * 1000; // the user typing the keyring's password

bool isNone(const QDBusObjectPath& path)
{
    return path.path().isEmpty() || path.path() == QLatin1String("/");
}

// No keyring on this desktop: no bus, no service of that name, or one that
// could not be started. Anything else the keyring said is a refusal.
SecretAnswer answerTo(const QDBusMessage& error)
{
    const QString name = error.errorName();
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

    SecretRequest(QObject* owner, const QString& service, const QString& key, Done done)
        : QObject(owner), m_bus(QDBusConnection::sessionBus()), m_done(std::move(done)), m_label(service),
          // What earlier versions stored through their keyring library
          // (libsecret's schema "org.qt.keychain"), checked on a real keyring.
          m_attributes{{QStringLiteral("server"), service},
                       {QStringLiteral("user"), key},
                       {QStringLiteral("type"), QStringLiteral("plaintext")},
                       {QStringLiteral("xdg:schema"), QStringLiteral("org.qt.keychain")}}
    {
        m_promptLimit.setSingleShot(true);
        connect(&m_promptLimit, &QTimer::timeout, this, [this] {
            call(m_prompt, promptInterface, QStringLiteral("Dismiss"), {}, [](const QVariantList&) {});
            finish(SecretAnswer::Refused);
        });
    }

    // The first item with the attributes, unlocked if need be.
    void read()
    {
        if (!connected())
            return;
        call(servicePath, serviceInterface, QStringLiteral("SearchItems"),
             {QVariant::fromValue(m_attributes)}, [this](const QVariantList& out) {
                 const auto unlocked = qdbus_cast<Paths>(out.value(0));
                 const auto locked = qdbus_cast<Paths>(out.value(1));
                 if (!unlocked.isEmpty())
                     getSecret(unlocked.first());
                 else if (locked.isEmpty())
                     finish(SecretAnswer::NotFound);
                 else
                     unlock(locked.first(), [this](const Paths& opened) {
                         if (opened.isEmpty())
                             finish(SecretAnswer::Refused);
                         else
                             getSecret(opened.first());
                     });
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
        QDBusMessage message = QDBusMessage::createMethodCall(secretsName, path, interface, method);
        message.setArguments(arguments);
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, callLimitMs), this);
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
                        finish(answerTo(reply));
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

    void finish(SecretAnswer answer, const QString& secret = QString())
    {
        if (m_finished)
            return;
        m_finished = true;
        stopWaiting();
        if (!isNone(m_session))
            m_bus.send(QDBusMessage::createMethodCall(secretsName, m_session.path(), sessionInterface,
                                                      QStringLiteral("Close")));
        deleteLater();
        m_done(answer, secret);
    }

    QDBusConnection m_bus;
    Done m_done;
    QString m_label;
    Attributes m_attributes;
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
    (new SecretRequest(&m_requests, m_service, m_key, std::move(done)))->read();
}

void KeychainSecretStore::write(const QString& secret, std::function<void(settings::SecretAnswer)> done)
{
    (new SecretRequest(&m_requests, m_service, m_key,
                       [done = std::move(done)](SecretAnswer answer, const QString&) { done(answer); }))
        ->write(secret);
}

} // namespace vindel::platform

#include "KeychainSecretStore.moc"
