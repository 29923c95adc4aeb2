#include "platform/KeychainSecretStore.h"

#include <qt6keychain/keychain.h>

namespace vindel::platform {
namespace {

settings::SecretAnswer answerOf(QKeychain::Error error)
{
    using settings::SecretAnswer;
    switch (error) {
    case QKeychain::NoError:
        return SecretAnswer::Done;
    case QKeychain::EntryNotFound:
        return SecretAnswer::NotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return SecretAnswer::NoKeyring;
    default:
        return SecretAnswer::Refused;
    }
}

// A job that deletes itself once it has answered, and never stores the
// secret anywhere but in the keyring.
template <typename Job> Job* job(const QString& service, const QString& key)
{
    auto* made = new Job(service);
    made->setAutoDelete(true);
    made->setInsecureFallback(false);
    made->setKey(key);
    return made;
}

} // namespace

KeychainSecretStore::KeychainSecretStore(QString service, QString key)
    : m_service(std::move(service)), m_key(std::move(key))
{
}

void KeychainSecretStore::read(std::function<void(settings::SecretAnswer, const QString& secret)> done)
{
    auto* reading = job<QKeychain::ReadPasswordJob>(m_service, m_key);
    QObject::connect(reading, &QKeychain::Job::finished, reading, [reading, done = std::move(done)] {
        const auto answer = answerOf(reading->error());
        done(answer, answer == settings::SecretAnswer::Done ? reading->textData() : QString());
    });
    reading->start();
}

void KeychainSecretStore::write(const QString& secret, std::function<void(settings::SecretAnswer)> done)
{
    auto* writing = job<QKeychain::WritePasswordJob>(m_service, m_key);
    writing->setTextData(secret);
    QObject::connect(writing, &QKeychain::Job::finished, writing,
                     [writing, done = std::move(done)] { done(answerOf(writing->error())); });
    writing->start();
}

} // namespace vindel::platform
