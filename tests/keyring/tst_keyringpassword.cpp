// The password in the keyring, against the real Secret Service of scripts/test: absent and
// unreachable keyrings first (the process keeps the first bus it reaches), then entries stored,
// read and removed under accounts whose texts hold the key's own marks, a locked keyring, and an
// entry the window could not hold.
#include "testkeyring.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using Outcome = KeyringAnswer::Outcome;
Q_DECLARE_METATYPE(KeyringAccount)

class TestKeyringPassword : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noKeyringIsSaidAtOnce_data();
    void noKeyringIsSaidAtOnce();
    void accountsStayApart_data();
    void accountsStayApart();
    void lockedKeyringStoresNothing();
    void entryTooLongForTheBoxIsRefused();

private:
    QTemporaryDir folder_;
};

void TestKeyringPassword::initTestCase()
{
    REQUIRE_TEST_KEYRING();
    QVERIFY(folder_.isValid());
}

void TestKeyringPassword::noKeyringIsSaidAtOnce_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("no session bus") << QByteArray() << Outcome::NoKeyring;
    QTest::newRow("bus pointing nowhere")
        << "unix:path=" + folder_.filePath("no-bus-here").toLocal8Bit() << Outcome::Refused;
}

void TestKeyringPassword::noKeyringIsSaidAtOnce()
{
    QFETCH(QByteArray, address);
    QFETCH(Outcome, outcome);
    const TestKeyring::Bus bus(address);
    const KeyringAccount account{"localhost", "5432", "someone", "somewhere"};
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(TestKeyring::read(account).outcome, outcome);
    QCOMPARE(KeyringPassword::WriteWaiting(account, "pw", TestKeyring::Limit).outcome, outcome);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

void TestKeyringPassword::accountsStayApart_data()
{
    // Each row's two accounts would share a key if the four texts were only joined.
    QTest::addColumn<KeyringAccount>("account");
    QTest::addColumn<KeyringAccount>("other");
    QTest::addColumn<QString>("password");
    QTest::newRow("plain") << KeyringAccount{"db.example.com", "5432", "alice", "sales"}
                           << KeyringAccount{"db.example.com", "5432", "alice", "sale"} << "pw";
    QTest::newRow("colon in the server")
        << KeyringAccount{"a:1", "2", "u", "d"} << KeyringAccount{"a", "1:2", "u", "d"} << "pw";
    QTest::newRow("at sign in the user") << KeyringAccount{"h", "5432", "u@h", "d"}
                                         << KeyringAccount{"h@h", "5432", "u", "d"} << "pw";
    QTest::newRow("slash in the database") << KeyringAccount{"h", "5432", "u", "a/b"}
                                           << KeyringAccount{"h", "5432/a", "u", "b"} << "pw";
    QTest::newRow("percent sign") << KeyringAccount{"%41", "5432", "u", "d"}
                                  << KeyringAccount{"A", "5432", "u", "d"} << "pw";
    QTest::newRow("IPv6 address") << KeyringAccount{"::1", "5432", "u", "d"}
                                  << KeyringAccount{":", "1:5432", "u", "d"} << "pw";
    QTest::newRow("other scripts, blanks and marks in the password")
        << KeyringAccount{"bücher.example", "5432", "Ærøskøbing", "Άγιος Νικόλαος"}
        << KeyringAccount{"bucher.example", "5432", "Ærøskøbing", "Άγιος Νικόλαος"}
        << "p;w {x} %41+ \"'\\ ß";
}

void TestKeyringPassword::accountsStayApart()
{
    QFETCH(KeyringAccount, account);
    QFETCH(KeyringAccount, other);
    QFETCH(QString, password);
    QVERIFY(account.key() != other.key());
    const TestKeyring::Bus bus;
    QVERIFY(TestKeyring::put(other, QString()));
    QVERIFY(TestKeyring::put(account, password));
    const KeyringAnswer found = TestKeyring::read(account);
    QCOMPARE(found.outcome, Outcome::Found);
    QCOMPARE(found.password, password);
    QCOMPARE(TestKeyring::read(other).outcome, Outcome::NotFound);
    // A second write replaces the first; an empty one removes the entry.
    QVERIFY(TestKeyring::put(account, password + "2"));
    QCOMPARE(TestKeyring::read(account).password, password + "2");
    QVERIFY(TestKeyring::put(account, QString()));
    QCOMPARE(TestKeyring::read(account).outcome, Outcome::NotFound);
}

void TestKeyringPassword::lockedKeyringStoresNothing()
{
    const TestKeyring::Bus bus;
    const KeyringAccount account{"locked.example", "5432", "u", "d"};
    QVERIFY(TestKeyring::put(account, "before"));
    {
        const TestKeyring::Locked locked;
        QVERIFY(locked.locked());
        QCOMPARE(KeyringPassword::WriteWaiting(account, "after", TestKeyring::Limit).outcome,
                 Outcome::Refused);
        // Its unlock dialog failed: to the reader the entry is not there.
        QCOMPARE(TestKeyring::read(account).outcome, Outcome::NotFound);
    }
    QCOMPARE(TestKeyring::read(account).password, "before");
    QVERIFY(TestKeyring::put(account, QString()));
}

void TestKeyringPassword::entryTooLongForTheBoxIsRefused()
{
    const TestKeyring::Bus bus;
    const KeyringAccount account{"long.example", "5432", "u", "d"};
    QVERIFY(TestKeyring::put(account, QString(KeyringPassword::MaxLength, u'x')));
    QCOMPARE(TestKeyring::read(account).outcome, Outcome::Found);
    QVERIFY(TestKeyring::put(account, QString(KeyringPassword::MaxLength + 1, u'x')));
    const KeyringAnswer answer = TestKeyring::read(account);
    QCOMPARE(answer.outcome, Outcome::Refused);
    QVERIFY(answer.password.isEmpty());
    QVERIFY(TestKeyring::put(account, QString()));
}

QTEST_GUILESS_MAIN(TestKeyringPassword)
#include "tst_keyringpassword.moc"
