// Where the connection window keeps the password: in the system keyring, under the server,
// port, user and database it belongs to, or in the settings file (mode 0600) when no keyring
// takes it: no session bus, no keyring service, a keyring that refuses (a locked one whose
// unlocking was cancelled) or one that does not answer in time. A password the settings file
// still holds from before is moved into the keyring, and leaves the file only once the keyring
// has confirmed it. Nothing here blocks the window: writes are asynchronous, the one read
// waits with the event loop running, and the last password is written before the program ends.
#pragma once

#include "keyring/keyringaccount.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <optional>

class PasswordKeeper : public QObject
{
    Q_OBJECT

public:
    enum class Place { Nowhere, Keyring, SettingsFile };

    // How long the keyring may take to answer before the settings file stands in for it.
    static constexpr std::chrono::milliseconds AnswerLimit{5000};
    // A password is written to the keyring once the boxes have been left alone this long, or at
    // once by flush(): a name typed letter by letter leaves no entries for its beginnings.
    static constexpr std::chrono::milliseconds Pause{1500};

    explicit PasswordKeeper(QObject *parent = nullptr);
    // Writes what is still to be written, as finish() does.
    ~PasswordKeeper() override;

    // The password to show for the account: the settings file's (which then moves into the
    // keyring), else the keyring's. The keyring has AnswerLimit to answer, with the event loop
    // running but user input held back; an answer after that comes by lateAnswer().
    QString load(const KeyringAccount &account);

    // The box's password now belongs to the account (the password or one of the four values
    // changed). Kept in the keyring after Pause; in the settings file at once when the keyring
    // has been given up.
    void keep(const KeyringAccount &account, const QString &password);
    // Writes the last password kept now rather than after the pause.
    void flush();
    // Flushes and waits, with the event loop running, until the keyring has answered or
    // AnswerLimit has passed; the password is then in the keyring or in the settings file.
    void finish();
    // A write waits for the pause or for the keyring's answer.
    bool busy() const;

    // Where this program last kept or found the password.
    static Place LastPlace();
    // The same in words, for About.
    static QString PlaceText();

signals:
    // The keyring answered the read of load() after its time: the account's password.
    void lateAnswer(const KeyringAccount &account, const QString &password);

private:
    struct Entry {
        KeyringAccount account;
        QString password;
        bool operator==(const Entry &) const = default;
    };

    void written(quint64 number, const Entry &entry, bool stored);
    // The keyring refused or did not answer: the settings file keeps the password from now on.
    void giveUpOnKeyring();
    void saveInFile(const QString &password);

    bool keyring_;                 // the keyring is still tried
    std::optional<Entry> pending_; // to be written after the pause or the write in flight
    std::optional<Entry> writing_; // sent to the keyring, not yet answered
    std::optional<Entry> known_;   // what the keyring holds: last read or confirmed
    quint64 writes_ = 0;           // numbers the writes, so that a late answer is told apart
    QTimer pause_;
    QTimer answerLimit_;
};
