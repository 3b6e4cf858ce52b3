#include "keyring/keyringpassword.h"

#include <QEventLoop>
#include <QObject>
#include <QStringDecoder>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace {

using Outcome = KeyringAnswer::Outcome;
using Done = std::function<void(const KeyringAnswer &)>;

// A job is never given a parent and never deleted before it has finished: the keyring library
// answers through a pointer to it, also after the caller has stopped waiting. It deletes itself
// once finished; a keyring that never answers keeps its one small job for the program's life.
void Start(QKeychain::Job *job, const KeyringAccount &account, QObject *context,
           std::function<KeyringAnswer(QKeychain::Job &)> answerOf, Done done)
{
    job->setAutoDelete(true);
    // Never a plain file in the keyring's place: the caller keeps the password in the settings
    // file itself when the keyring does not take it, where the file's mode and About say so.
    job->setInsecureFallback(false);
    job->setKey(account.key());
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [answerOf = std::move(answerOf),
                      done = std::move(done)](QKeychain::Job *ended) { done(answerOf(*ended)); });
    job->start();
}

KeyringAnswer Failure(const QKeychain::Job &job)
{
    const Outcome outcome =
        job.error() == QKeychain::NoBackendAvailable || job.error() == QKeychain::NotImplemented
            ? Outcome::NoKeyring
            : Outcome::Refused;
    return {outcome, QString(), job.errorString()};
}

// The keyring's bytes are taken as they are only when they are a password the window and the
// driver can carry whole: UTF-8 text without a null character, no longer than the box holds.
KeyringAnswer PasswordOf(const QKeychain::ReadPasswordJob &job)
{
    const QByteArray bytes = job.binaryData();
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError() || text.contains(QChar(u'\0')))
        return {Outcome::Refused, QString(),
                QStringLiteral("The keyring's entry is not a password in UTF-8 text.")};
    if (text.size() > KeyringPassword::MaxLength)
        return {Outcome::Refused, QString(),
                QStringLiteral("The keyring's entry is longer than %1 characters.")
                    .arg(KeyringPassword::MaxLength)};
    if (text.isEmpty())
        return {Outcome::NotFound, QString(), QString()};
    return {Outcome::Found, text, QString()};
}

void AnswerLater(QObject *context, Done done, KeyringAnswer answer)
{
    QMetaObject::invokeMethod(
        context, [done = std::move(done), answer = std::move(answer)] { done(answer); },
        Qt::QueuedConnection);
}

KeyringAnswer Waiting(const std::function<void(QObject *, Done)> &start,
                      std::chrono::milliseconds limit)
{
    QEventLoop loop;
    // An answer that comes after the limit finds this receiver gone and goes nowhere.
    QObject receiver;
    KeyringAnswer answer;
    // Precise: a coarse timer may end the wait up to 5 % early.
    QTimer::singleShot(limit, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    start(&receiver, [&](const KeyringAnswer &given) {
        answer = given;
        loop.quit();
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answer;
}

} // namespace

const QString KeyringPassword::Service = QStringLiteral("Recasor");

bool KeyringPassword::SessionBusNamed()
{
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
}

void KeyringPassword::Read(const KeyringAccount &account, QObject *context, Done done)
{
    if (!SessionBusNamed())
        return AnswerLater(context, std::move(done),
                           {Outcome::NoKeyring, QString(), QStringLiteral("No session bus.")});
    Start(
        new QKeychain::ReadPasswordJob(Service), account, context,
        [](QKeychain::Job &job) -> KeyringAnswer {
            switch (job.error()) {
            case QKeychain::NoError:
                return PasswordOf(static_cast<QKeychain::ReadPasswordJob &>(job));
            case QKeychain::EntryNotFound:
                return {Outcome::NotFound, QString(), QString()};
            default:
                return Failure(job);
            }
        },
        std::move(done));
}

void KeyringPassword::Write(const KeyringAccount &account, const QString &password,
                            QObject *context, Done done)
{
    if (!SessionBusNamed())
        return AnswerLater(context, std::move(done),
                           {Outcome::NoKeyring, QString(), QStringLiteral("No session bus.")});
    QKeychain::Job *job = nullptr;
    if (password.isEmpty()) {
        job = new QKeychain::DeletePasswordJob(Service);
    } else {
        auto *write = new QKeychain::WritePasswordJob(Service);
        write->setTextData(password);
        job = write;
    }
    Start(
        job, account, context,
        [](QKeychain::Job &ended) -> KeyringAnswer {
            if (ended.error() == QKeychain::NoError || ended.error() == QKeychain::EntryNotFound)
                return {Outcome::Stored, QString(), QString()};
            return Failure(ended);
        },
        std::move(done));
}

KeyringAnswer KeyringPassword::ReadWaiting(const KeyringAccount &account,
                                           std::chrono::milliseconds limit)
{
    return Waiting([&](QObject *context, Done done) { Read(account, context, std::move(done)); },
                   limit);
}

KeyringAnswer KeyringPassword::WriteWaiting(const KeyringAccount &account, const QString &password,
                                            std::chrono::milliseconds limit)
{
    return Waiting(
        [&](QObject *context, Done done) { Write(account, password, context, std::move(done)); },
        limit);
}
