// The password of an account in the system keyring (the Secret Service of the desktop, reached
// on the session bus through qtkeychain), never in a plain file in its place. Every call is
// asynchronous; the waiting forms serve the command line and run an event loop with a time
// limit, so that a keyring that never answers costs that limit and no more.
#pragma once

#include "keyring/keyringaccount.h"

#include <QString>
#include <chrono>
#include <functional>

class QObject;

struct KeyringAnswer {
    enum class Outcome {
        Found,     // the password (never empty)
        NotFound,  // no entry for the account, or a locked keyring whose unlocking was cancelled
        Stored,    // the write (or, for an empty password, the removal) is in the keyring
        NoKeyring, // no session bus is named, or no keyring service is installed
        Refused,   // the keyring answered with an error, or with a password it cannot be
        NoAnswer,  // nothing came within the time limit (the waiting forms only)
    };
    Outcome outcome = Outcome::NoAnswer;
    QString password;
    QString reason; // the keyring's own words, for Refused and NoKeyring

    bool reached() const
    {
        return outcome == Outcome::Found || outcome == Outcome::NotFound ||
               outcome == Outcome::Stored;
    }
};

class KeyringPassword
{
public:
    // The name the entries are kept under, beside their account's key.
    static const QString Service;
    // A password longer than the connection window's box can hold is none a person typed there:
    // one read from the keyring is refused rather than cut short.
    static constexpr qsizetype MaxLength = 32767;

    // Whether DBUS_SESSION_BUS_ADDRESS names a session bus. Without it the keyring is not
    // asked: the bus library would try to start a bus of its own (a cron job, a service).
    static bool SessionBusNamed();

    // Reads the account's password; `done` runs once with the answer, in the event loop of the
    // calling thread, unless `context` is gone by then. Without a session bus the answer is
    // NoKeyring, still by the event loop.
    static void Read(const KeyringAccount &account, QObject *context,
                     std::function<void(const KeyringAnswer &)> done);
    // Stores the password as the account's; an empty password removes the account's entry.
    static void Write(const KeyringAccount &account, const QString &password, QObject *context,
                      std::function<void(const KeyringAnswer &)> done);

    // The same, waiting in an event loop of their own for at most `limit`: NoAnswer after it.
    static KeyringAnswer ReadWaiting(const KeyringAccount &account,
                                     std::chrono::milliseconds limit);
    static KeyringAnswer WriteWaiting(const KeyringAccount &account, const QString &password,
                                      std::chrono::milliseconds limit);
};
