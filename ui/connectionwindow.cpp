// The connection window.
#include "ui/connectionwindow.h"

#include "db/canconnect.h"
#include "settings/settingsstore.h"
#include "ui/callrepainting.h"
#include "ui/controls.h"
#include "ui/flagscope.h"
#include "ui/guardedhandler.h"
#include "ui/messages.h"
#include "ui/windowhelpers.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString HelpFirst =
    QStringLiteral("If you can not connect, please try downloading pgAdmin III. ");
const QString HelpSecond = QStringLiteral("If you can not connect with that software, you know "
                                          "the login information you are providing here is "
                                          "incorrect.");
const QString PgAdminDownload = QStringLiteral("https://www.pgadmin.org/download/");
const QString ConnectedText = QStringLiteral("Connection successful.");
const QString NotConnectedText =
    QStringLiteral("Could not connect. Please check with your administrator.");

const QString ConnectionWindowName = QStringLiteral("Form1");

// A box that gets the focus selects its whole text, so that typing replaces the value (a
// click then puts the caret where it points, as in any text box).
class SelectAllOnFocus : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn)
            if (auto *box = qobject_cast<QLineEdit *>(watched))
                box->selectAll();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

ConnectionWindow::ConnectionWindow(Messages &messages, QString programFolder)
    : messages_(messages),
      programFolder_(programFolder.isEmpty() ? ProgramFolder() : std::move(programFolder)),
      pointer_(*this)
{
    buildLayout();

    // Every change of a box, by the user or by the program, is saved at once under its key.
    connect(serverBox_, &QLineEdit::textChanged, this, &ConnectionWindow::saveServer);
    connect(portBox_, &QLineEdit::textChanged, this, &ConnectionWindow::savePort);
    connect(userBox_, &QLineEdit::textChanged, this, &ConnectionWindow::saveUser);
    connect(passwordBox_, &QLineEdit::textChanged, this, &ConnectionWindow::savePassword);
    connect(databaseBox_, &QLineEdit::textChanged, this, &ConnectionWindow::saveDatabase);
    auto *selectAll = new SelectAllOnFocus(this);
    for (QLineEdit *box : {serverBox_, portBox_, userBox_, passwordBox_, databaseBox_})
        box->installEventFilter(selectAll);

    connect(testButton_, &QPushButton::clicked, this, &ConnectionWindow::testConnection);
    connect(helpButton_, &QPushButton::clicked, this, &ConnectionWindow::showHelp);
    connect(nextButton_, &QPushButton::clicked, this, &ConnectionWindow::goToMainWindow);
    // Return in any box presses "Next >".
    for (QLineEdit *box : {serverBox_, portBox_, userBox_, passwordBox_, databaseBox_})
        connect(box, &QLineEdit::returnPressed, nextButton_, &QPushButton::click);

    pointer_.watchButtons({testButton_, helpButton_, nextButton_});
    pointer_.watchSurfaces({frame_, serverBox_, portBox_, userBox_, passwordBox_, databaseBox_});
    connect(&passwords_, &PasswordKeeper::lateAnswer, this, &ConnectionWindow::showLatePassword);
}

ConnectionWindow::~ConnectionWindow()
{
    // The last password typed reaches the keyring, or the settings file, before the program
    // ends; the keyring's answer is waited for while the window still stands.
    passwords_.finish();
}

void ConnectionWindow::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    MakeFixedWindow(*this, 8040, 3630);
    setFont(ArialFont(9, false));
    SetBackground(*this, Qt::white);

    const QFont bold = ArialFont(9, true);

    frame_ = new QGroupBox(QStringLiteral("PostgreSQL Database"), this);
    PlaceTwips(*frame_, 120, 120, 7800, 2830);

    auto label = [&](const char *name, const QString &text, int left, int top, int width) {
        auto *control = new QLabel(text, frame_);
        control->setObjectName(QLatin1String(name));
        PlaceTwips(*control, left, top, width, 255);
        return control;
    };
    auto box = [&](const char *name, int left, int top, int width) {
        auto *control = new QLineEdit(frame_);
        control->setObjectName(QLatin1String(name));
        PlaceTwips(*control, left, top, width, 330);
        return control;
    };
    serverLabel_ = label("Label2", QStringLiteral("Server:"), 240, 405, 1095);
    serverBox_ = box("Text1", 1320, 360, 4575);
    portLabel_ = label("Label3", QStringLiteral("Port:"), 6000, 405, 495);
    portBox_ = box("Text2", 6465, 360, 1095);
    userLabel_ = label("Label1", QStringLiteral("Username:"), 240, 885, 1095);
    userBox_ = box("Text3", 1320, 840, 6255);
    passwordLabel_ = label("Label4", QStringLiteral("Password:"), 240, 1365, 1095);
    passwordBox_ = box("Text4", 1320, 1320, 6255);
    databaseLabel_ = label("Label6", QStringLiteral("Database:"), 240, 1845, 1095);
    databaseBox_ = box("Text5", 1320, 1800, 6255);
    passwordBox_->setEchoMode(QLineEdit::Password);
    passwordBox_->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"

    testButton_ = MakePushButton(frame_, "PushButton5", QStringLiteral("Test Connection"), 240,
                                 2280, 3600, 400);
    helpButton_ =
        MakePushButton(frame_, "PushButton1", QStringLiteral("Help"), 3960, 2280, 3600, 405);
    nextButton_ =
        MakePushButton(this, "PushButton3", QStringLiteral("Next >"), 120, 3090, 7800, 405);

    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setFont(bold);
    SetBackground(*frame_, Qt::white);
    for (QWidget *control :
         {static_cast<QWidget *>(serverLabel_), static_cast<QWidget *>(portLabel_),
          static_cast<QWidget *>(userLabel_), static_cast<QWidget *>(passwordLabel_),
          static_cast<QWidget *>(databaseLabel_)}) {
        control->setFont(bold);
        SetBackground(*control, Qt::white);
    }
    for (QWidget *control : {serverBox_, portBox_, userBox_, passwordBox_, databaseBox_})
        control->setFont(bold);

    setTabOrder(serverBox_, portBox_);
    setTabOrder(portBox_, userBox_);
    setTabOrder(userBox_, passwordBox_);
    setTabOrder(passwordBox_, databaseBox_);
    setTabOrder(databaseBox_, testButton_);
    setTabOrder(testButton_, helpButton_);
    setTabOrder(helpButton_, nextButton_);
}

void ConnectionWindow::load()
{
    GuardedHandler h(messages_, ConnectionWindowName, QStringLiteral("Form_Load"));
    h.step(100, [&] { ApplySkin(*this, programFolder_); });
    h.step(104, [&] { setWindowTitle(QStringLiteral("Recasor")); });
    h.step(104, [&] { setWindowIcon(QGuiApplication::windowIcon()); });
    h.step(104, [&] { SetAppTitle(); });
    const QString cursorFile = programFolder_ + QStringLiteral("/HAND-M.CUR");
    if (h.condition(124, [&] { return FileExists(cursorFile); }))
        h.step(126, [&] { pointer_.setCustomCursor(LoadCursorFile(cursorFile)); });
    auto stored = [](const QString &key, const QString &defaultValue = QString()) {
        return SettingsStore::Get(SettingsKeys::Application, SettingsKeys::Section, key,
                                  defaultValue);
    };
    {
        const FlagScope loading(loading_);
        h.step(128, [&] {
            serverBox_->setText(stored(SettingsKeys::Server, SettingsKeys::DefaultServer));
        });
        h.step(130,
               [&] { portBox_->setText(stored(SettingsKeys::Port, SettingsKeys::DefaultPort)); });
        h.step(132, [&] { userBox_->setText(stored(SettingsKeys::User)); });
        // The password of the stored values, from the keyring or the settings file.
        h.step(134, [&] {
            passwordBox_->setText(
                passwords_.load({stored(SettingsKeys::Server, SettingsKeys::DefaultServer),
                                 stored(SettingsKeys::Port, SettingsKeys::DefaultPort),
                                 stored(SettingsKeys::User), stored(SettingsKeys::Database)}));
        });
        h.step(136, [&] { databaseBox_->setText(stored(SettingsKeys::Database)); });
    }
    if (h.condition(138, [&] { return canConnect(); })) {
        h.step(140, [&] { emit connected(); });
        h.step(142, [&] { hide(); });
    } else {
        show();
    }
}

void ConnectionWindow::testConnection()
{
    GuardedHandler h(messages_, ConnectionWindowName, QStringLiteral("PushButton5_Click"));
    // Only a failure to make the test's connection object is reported (line 100); a refused
    // login is the message below. DbSession makes and opens in one, so the test itself stands
    // in that step, and any failure of it means "could not connect".
    h.step(100, [&] {
        std::optional<QString> failure;
        {
            const BusyPointer busy(pointer_);
            failure = CallRepainting([values = settings()] { return ConnectFailure(values); });
        }
        // The session is closed and the pointer is back before the box waits for the user.
        // The server's or the driver's reason is there for whoever opens the box's details.
        if (failure)
            messages_.infoWithDetails(NotConnectedText, *failure);
        else
            messages_.info(ConnectedText);
    });
}

void ConnectionWindow::showHelp()
{
    GuardedHandler h(messages_, ConnectionWindowName, QStringLiteral("PushButton1_Click"));
    QString first, second, address;
    h.step(100, [&] { first = HelpFirst; });
    h.step(102, [&] { second = HelpSecond; });
    h.step(104, [&] { address = PgAdminDownload; });
    h.step(106, [&] { messages_.info(first + second + QStringLiteral("\r\n\r\n") + address); });
}

void ConnectionWindow::goToMainWindow()
{
    GuardedHandler h(messages_, ConnectionWindowName, QStringLiteral("PushButton3_Click"));
    if (!h.condition(100, [&] { return canConnect(); }))
        return;
    h.step(102, [&] { emit connected(); });
    h.step(104, [&] { hide(); });
    h.step(106, [&] { emit mainWindowLoadRequested(); });
}

void ConnectionWindow::saveServer()
{
    save(SettingsKeys::Server, serverBox_->text());
    keepPassword();
}

void ConnectionWindow::savePort()
{
    save(SettingsKeys::Port, portBox_->text());
    keepPassword();
}

void ConnectionWindow::saveUser()
{
    save(SettingsKeys::User, userBox_->text());
    keepPassword();
}

void ConnectionWindow::savePassword()
{
    keepPassword();
}

void ConnectionWindow::saveDatabase()
{
    save(SettingsKeys::Database, databaseBox_->text());
    keepPassword();
}

void ConnectionWindow::keepPassword()
{
    if (!loading_)
        passwords_.keep(account(), passwordBox_->text());
}

KeyringAccount ConnectionWindow::account() const
{
    return {serverBox_->text(), portBox_->text(), userBox_->text(), databaseBox_->text()};
}

void ConnectionWindow::showLatePassword(const KeyringAccount &account, const QString &password)
{
    // Only into a box still empty, for the values it was read for: never over the user's typing.
    if (account != this->account() || !passwordBox_->text().isEmpty())
        return;
    const FlagScope loading(loading_);
    passwordBox_->setText(password);
}

void ConnectionWindow::hideEvent(QHideEvent *event)
{
    FlowWindow::hideEvent(event);
    passwords_.flush();
}

void ConnectionWindow::save(const QString &key, const QString &value)
{
    // A store that cannot be written costs the user nothing now: the boxes keep the values
    // for this run, and the change handlers have no report.
    SettingsStore::Save(SettingsKeys::Application, SettingsKeys::Section, key, value);
}

bool ConnectionWindow::canConnect()
{
    return CallRepainting([values = settings()] { return CanConnect(values); });
}

ConnectionSettings ConnectionWindow::settings() const
{
    return {serverBox_->text(), portBox_->text(), userBox_->text(), passwordBox_->text(),
            databaseBox_->text()};
}

QWidget *ConnectionWindow::firstControl() const
{
    return serverBox_;
}
