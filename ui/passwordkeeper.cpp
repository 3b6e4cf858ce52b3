// Where the connection window keeps the password.
#include "ui/passwordkeeper.h"

#include "keyring/keyringpassword.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <memory>
#include <utility>

namespace {

using Outcome = KeyringAnswer::Outcome;

PasswordKeeper::Place lastPlace = PasswordKeeper::Place::Nowhere;

QString PasswordInFile()
{
    return SettingsStore::Get(SettingsKeys::Application, SettingsKeys::Section,
                              SettingsKeys::Password);
}

} // namespace

PasswordKeeper::PasswordKeeper(QObject *parent)
    : QObject(parent), keyring_(KeyringPassword::SessionBusNamed())
{
    pause_.setSingleShot(true);
    pause_.setInterval(Pause);
    connect(&pause_, &QTimer::timeout, this, &PasswordKeeper::flush);
    answerLimit_.setSingleShot(true);
    answerLimit_.setTimerType(Qt::PreciseTimer);
    answerLimit_.setInterval(AnswerLimit);
    connect(&answerLimit_, &QTimer::timeout, this, &PasswordKeeper::giveUpOnKeyring);
}

PasswordKeeper::~PasswordKeeper()
{
    finish();
}

QString PasswordKeeper::load(const KeyringAccount &account)
{
    if (const QString filed = PasswordInFile(); !filed.isEmpty()) {
        lastPlace = Place::SettingsFile;
        // Left there from before the keyring, or by a run without one: it moves now.
        if (keyring_) {
            keep(account, filed);
            flush();
        }
        return filed;
    }
    if (!keyring_) {
        lastPlace = Place::Nowhere;
        return {};
    }
    // The answer may come after load() has stopped waiting, when the loop is gone.
    struct Wait {
        QEventLoop *loop = nullptr;
        std::optional<KeyringAnswer> answer;
    };
    auto wait = std::make_shared<Wait>();
    QEventLoop loop;
    wait->loop = &loop;
    KeyringPassword::Read(account, this, [this, wait, account](const KeyringAnswer &answer) {
        if (wait->loop) {
            wait->answer = answer;
            wait->loop->quit();
        } else if (answer.outcome == Outcome::Found) {
            emit lateAnswer(account, answer.password);
        }
    });
    QTimer::singleShot(AnswerLimit, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    wait->loop = nullptr;

    lastPlace = Place::Nowhere;
    const Outcome outcome = wait->answer ? wait->answer->outcome : Outcome::NoAnswer;
    if (outcome == Outcome::Found) {
        known_ = Entry{account, wait->answer->password};
        lastPlace = Place::Keyring;
        return known_->password;
    }
    if (outcome == Outcome::NotFound)
        known_ = Entry{account, QString()};
    else
        giveUpOnKeyring();
    return {};
}

void PasswordKeeper::keep(const KeyringAccount &account, const QString &password)
{
    if (!keyring_) {
        // The file holds one password, that of the values saved beside it.
        if (PasswordInFile() != password)
            saveInFile(password);
        return;
    }
    pending_ = Entry{account, password};
    if (!writing_ && pending_ == known_) {
        pending_.reset();
        pause_.stop();
        return;
    }
    pause_.start();
}

void PasswordKeeper::flush()
{
    pause_.stop();
    if (!keyring_ || !pending_ || writing_)
        return; // a write in flight is followed by the pending one once it is answered
    writing_ = std::exchange(pending_, std::nullopt);
    const quint64 number = ++writes_;
    const Entry entry = *writing_;
    answerLimit_.start();
    KeyringPassword::Write(entry.account, entry.password, this,
                           [this, number, entry](const KeyringAnswer &answer) {
                               written(number, entry, answer.outcome == Outcome::Stored);
                           });
}

void PasswordKeeper::written(quint64 number, const Entry &entry, bool stored)
{
    const bool current = writing_ && number == writes_;
    if (stored) {
        // The keyring has the password, so the settings file lets go of its copy: whatever it
        // holds while the keyring is in use (the password being moved), and once the keyring
        // has been given up only this same password, not a later one the file took instead.
        const QString filed = PasswordInFile();
        if (keyring_ || filed == entry.password) {
            if (!filed.isEmpty())
                SettingsStore::Save(SettingsKeys::Application, SettingsKeys::Section,
                                    SettingsKeys::Password, QString());
            lastPlace = entry.password.isEmpty() ? Place::Nowhere : Place::Keyring;
        }
        if (keyring_)
            known_ = entry;
    }
    if (!current)
        return;
    answerLimit_.stop();
    if (!stored)
        return giveUpOnKeyring();
    writing_.reset();
    if (pending_ && pending_ == known_)
        pending_.reset();
    else if (pending_ && !pause_.isActive())
        flush();
}

void PasswordKeeper::giveUpOnKeyring()
{
    keyring_ = false;
    pause_.stop();
    answerLimit_.stop();
    const std::optional<Entry> latest = pending_ ? pending_ : writing_;
    pending_.reset();
    writing_.reset();
    if (latest)
        saveInFile(latest->password);
}

void PasswordKeeper::saveInFile(const QString &password)
{
    // A file that cannot be written costs the user nothing now: the box keeps the password.
    SettingsStore::Save(SettingsKeys::Application, SettingsKeys::Section, SettingsKeys::Password,
                        password);
    lastPlace = password.isEmpty() ? Place::Nowhere : Place::SettingsFile;
}

void PasswordKeeper::finish()
{
    flush();
    if (!QCoreApplication::instance())
        return giveUpOnKeyring();
    // The keyring's own limit gives up on it; the deadline only guards against a lost timer.
    const QDeadlineTimer deadline(AnswerLimit + std::chrono::seconds(1));
    while (busy() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    if (busy())
        giveUpOnKeyring();
}

bool PasswordKeeper::busy() const
{
    return pending_.has_value() || writing_.has_value();
}

PasswordKeeper::Place PasswordKeeper::LastPlace()
{
    return lastPlace;
}

QString PasswordKeeper::PlaceText()
{
    switch (lastPlace) {
    case Place::Keyring:
        return QStringLiteral("in the system keyring");
    case Place::SettingsFile:
        return QStringLiteral("in the settings file, readable by you only (no system keyring "
                              "took it)");
    case Place::Nowhere:
        break;
    }
    return QStringLiteral("none saved");
}
