// The connection window: the five connection values (the one working copy of them, saved on
// every change, the password in the system keyring where there is one), "Test Connection",
// "Help" and "Next >" to the main window. It is the start-up window; it says when its values
// connect and when it is closed, and the window flow of the program decides what shows next.
#pragma once

#include "db/connectionsettings.h"
#include "ui/flowwindow.h"
#include "ui/passwordkeeper.h"
#include "ui/pointerstate.h"

class Messages;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class ConnectionWindow : public FlowWindow
{
    Q_OBJECT

public:
    explicit ConnectionWindow(Messages &messages, QString programFolder = QString());
    ~ConnectionWindow() override;

    // The start-up sequence: skin, caption, cursor, the stored values into the boxes, and the
    // main window at once when they connect; otherwise this window shows and waits.
    void load();

    void testConnection(); // "Test Connection"
    void showHelp();       // "Help"
    void goToMainWindow(); // "Next >"

    // The connection values as the boxes hold them now.
    ConnectionSettings settings() const;

    PointerState &pointer() { return pointer_; }

signals:
    // The values in the boxes connect: the main window is to be shown, made and loaded the
    // first time (start-up, "Next >").
    void connected();
    // "Next >" has shown the main window and hidden this one: the main window is to fill
    // itself again from the values in the boxes.
    void mainWindowLoadRequested();

protected:
    QWidget *firstControl() const override;
    // The password is kept at once when the window goes (Next >, Setup Connection's return).
    void hideEvent(QHideEvent *event) override;

private:
    // Each box saves its text under its key whenever the text changes; a change of any of the
    // four values also keeps the password under them.
    void saveServer();
    void savePort();
    void saveUser();
    void savePassword();
    void saveDatabase();
    void save(const QString &key, const QString &value);
    void keepPassword();
    // What the password in the boxes belongs to.
    KeyringAccount account() const;
    // The keyring answered after the load had stopped waiting for it.
    void showLatePassword(const KeyringAccount &account, const QString &password);

    void buildLayout();
    // The silent connection check on the values in the boxes.
    bool canConnect();

    Messages &messages_;
    QString programFolder_;
    PointerState pointer_;
    PasswordKeeper passwords_;
    // The load fills the boxes: the password it shows is kept where it was found.
    bool loading_ = false;

    QGroupBox *frame_;
    QLabel *serverLabel_, *portLabel_, *userLabel_, *passwordLabel_, *databaseLabel_;
    QLineEdit *serverBox_, *portBox_, *userBox_, *passwordBox_, *databaseBox_;
    QPushButton *testButton_, *helpButton_, *nextButton_;
};
