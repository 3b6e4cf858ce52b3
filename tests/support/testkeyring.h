// The tests' own keyring: a session bus with gnome-keyring-daemon's Secret Service, which
// scripts/test starts and names in RECASOR_TEST_KEYRING_BUS. CTest gives every test no session
// bus; a test points DBUS_SESSION_BUS_ADDRESS at this one (or at one that never answers) only
// while it uses it. The bus library keeps the first session bus a process reaches, so a test
// that wants no keyring after a working one runs in a process of its own.
#pragma once

#include "keyring/keyringpassword.h"
#include "testdatabase.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <QUuid>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A secret as the Secret Service takes it: (session, parameters, value, content type).
struct TestKeyringSecret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};
Q_DECLARE_METATYPE(TestKeyringSecret)

inline QDBusArgument &operator<<(QDBusArgument &argument, const TestKeyringSecret &secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument &operator>>(const QDBusArgument &argument, TestKeyringSecret &secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

namespace TestKeyring {

inline constexpr std::chrono::seconds Limit{10};

inline bool available(QString *why = nullptr)
{
    if (!qEnvironmentVariableIsEmpty("RECASOR_TEST_KEYRING_BUS"))
        return true;
    if (why)
        *why = QStringLiteral("RECASOR_TEST_KEYRING_BUS is not set: these tests need the keyring "
                              "that scripts/test starts (run them through scripts/test)");
    return false;
}

// DBUS_SESSION_BUS_ADDRESS for the life of the scope: the tests' keyring, or the address given
// (empty: no session bus). Unset again afterwards, as CTest gives it.
class Bus
{
public:
    explicit Bus(const QByteArray &address = qgetenv("RECASOR_TEST_KEYRING_BUS"))
    {
        if (address.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    ~Bus() { qunsetenv("DBUS_SESSION_BUS_ADDRESS"); }
    Bus(const Bus &) = delete;
    Bus &operator=(const Bus &) = delete;
};

// A socket that takes connections and never says a word: a session bus that hangs.
class MuteBus
{
public:
    explicit MuteBus(const QString &path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
        ::unlink(address.sun_path);
        socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        // Never accepted: the kernel completes the connections in the backlog.
        if (::bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            ::listen(socket_, 16) == 0)
            address_ = "unix:path=" + name;
    }
    ~MuteBus() { ::close(socket_); }
    MuteBus(const MuteBus &) = delete;
    MuteBus &operator=(const MuteBus &) = delete;
    // Empty when the socket could not be made.
    QByteArray address() const { return address_; }

private:
    int socket_ = -1;
    QByteArray address_;
};

inline KeyringAnswer read(const KeyringAccount &account)
{
    return KeyringPassword::ReadWaiting(account, Limit);
}

// Stores the password as the account's (an empty one removes the entry): true once stored.
inline bool put(const KeyringAccount &account, const QString &password)
{
    return KeyringPassword::WriteWaiting(account, password, Limit).outcome ==
           KeyringAnswer::Outcome::Stored;
}

// The account the test server's values belong to.
inline KeyringAccount accountOf(const ConnectionSettings &values)
{
    return {values.server, values.port, values.user, values.database};
}

// A connection of its own to the tests' bus, named anew each time.
inline QDBusConnection connection()
{
    return QDBusConnection::connectToBus(
        QString::fromLocal8Bit(qgetenv("RECASOR_TEST_KEYRING_BUS")),
        QUuid::createUuid().toString());
}

inline const QString Collection = QStringLiteral("/org/freedesktop/secrets/collection/login");

// Locks the keyring: it still answers, but stores nothing until it is unlocked, and with no
// display for its unlock dialog that dialog fails at once, as a cancelled one does.
inline bool lock()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    call << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(Collection)});
    return connection().call(call).type() == QDBusMessage::ReplyMessage;
}

// Unlocks it with its password, through gnome-keyring's interface for its own tools.
inline bool unlock()
{
    qDBusRegisterMetaType<TestKeyringSecret>();
    QDBusConnection bus = connection();
    QDBusMessage open = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("OpenSession"));
    open << QStringLiteral("plain") << QVariant::fromValue(QDBusVariant(QString()));
    const QDBusMessage opened = bus.call(open);
    if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().size() != 2)
        return false;
    const TestKeyringSecret secret{opened.arguments()[1].value<QDBusObjectPath>(), QByteArray(),
                                   qgetenv("RECASOR_TEST_KEYRING_PASSWORD"),
                                   QStringLiteral("text/plain")};
    QDBusMessage unlock = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
        QStringLiteral("UnlockWithMasterPassword"));
    unlock << QVariant::fromValue(QDBusObjectPath(Collection)) << QVariant::fromValue(secret);
    return bus.call(unlock).type() == QDBusMessage::ReplyMessage;
}

// Locked for the life of the scope, and unlocked again on every path out of it.
class Locked
{
public:
    Locked() : locked_(lock()) {}
    ~Locked() { unlock(); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;
    bool locked() const { return locked_; }

private:
    bool locked_;
};

} // namespace TestKeyring

#define REQUIRE_TEST_KEYRING() REQUIRE_AVAILABLE(TestKeyring::available)
