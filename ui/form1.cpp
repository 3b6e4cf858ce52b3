// The connection window.
#include "ui/form1.h"

#include "db/canconnect.h"
#include "settings/settingsstore.h"
#include "ui/callrepainting.h"
#include "ui/controls.h"
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

const QString Window = QStringLiteral("Form1");

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

Form1::Form1(Messages &messages, QString programFolder)
    : messages_(messages),
      programFolder_(programFolder.isEmpty() ? ProgramFolder() : std::move(programFolder)),
      pointer_(*this)
{
    buildLayout();

    // Every change of a box, by the user or by the program, is saved at once under its key.
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(Text3, &QLineEdit::textChanged, this, &Form1::Text3_Change);
    connect(Text4, &QLineEdit::textChanged, this, &Form1::Text4_Change);
    connect(Text5, &QLineEdit::textChanged, this, &Form1::Text5_Change);
    auto *selectAll = new SelectAllOnFocus(this);
    for (QLineEdit *box : {Text1, Text2, Text3, Text4, Text5})
        box->installEventFilter(selectAll);

    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);

    pointer_.watchButtons({PushButton5, PushButton1, PushButton3});
    pointer_.watchSurfaces({Frame1, Text1, Text2, Text3, Text4, Text5});
}

Form1::~Form1() = default;

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    MakeFixedWindow(*this, 8040, 3630);
    setFont(ArialFont(9, false));
    SetBackground(*this, Qt::white);

    const QFont bold = ArialFont(9, true);

    Frame1 = new QGroupBox(QStringLiteral("PostgreSQL Database"), this);
    PlaceTwips(*Frame1, 120, 120, 7800, 2830);

    auto label = [&](const char *name, const QString &text, int left, int top, int width) {
        auto *control = new QLabel(text, Frame1);
        control->setObjectName(QLatin1String(name));
        PlaceTwips(*control, left, top, width, 255);
        return control;
    };
    auto box = [&](const char *name, int left, int top, int width) {
        auto *control = new QLineEdit(Frame1);
        control->setObjectName(QLatin1String(name));
        PlaceTwips(*control, left, top, width, 330);
        return control;
    };
    Label2 = label("Label2", QStringLiteral("Server:"), 240, 405, 1095);
    Text1 = box("Text1", 1320, 360, 4575);
    Label3 = label("Label3", QStringLiteral("Port:"), 6000, 405, 495);
    Text2 = box("Text2", 6465, 360, 1095);
    Label1 = label("Label1", QStringLiteral("Username:"), 240, 885, 1095);
    Text3 = box("Text3", 1320, 840, 6255);
    Label4 = label("Label4", QStringLiteral("Password:"), 240, 1365, 1095);
    Text4 = box("Text4", 1320, 1320, 6255);
    Label6 = label("Label6", QStringLiteral("Database:"), 240, 1845, 1095);
    Text5 = box("Text5", 1320, 1800, 6255);
    Text4->setEchoMode(QLineEdit::Password);
    Text4->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"

    PushButton5 = MakePushButton(Frame1, "PushButton5", QStringLiteral("Test Connection"), 240,
                                 2280, 3600, 400);
    PushButton1 =
        MakePushButton(Frame1, "PushButton1", QStringLiteral("Help"), 3960, 2280, 3600, 405);
    PushButton3 =
        MakePushButton(this, "PushButton3", QStringLiteral("Next >"), 120, 3090, 7800, 405);

    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFont(bold);
    SetBackground(*Frame1, Qt::white);
    for (QWidget *control : {static_cast<QWidget *>(Label2), static_cast<QWidget *>(Label3),
                             static_cast<QWidget *>(Label1), static_cast<QWidget *>(Label4),
                             static_cast<QWidget *>(Label6)}) {
        control->setFont(bold);
        SetBackground(*control, Qt::white);
    }
    for (QWidget *control : {Text1, Text2, Text3, Text4, Text5})
        control->setFont(bold);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Text4);
    setTabOrder(Text4, Text5);
    setTabOrder(Text5, PushButton5);
    setTabOrder(PushButton5, PushButton1);
    setTabOrder(PushButton1, PushButton3);
}

void Form1::Form_Load()
{
    GuardedHandler h(messages_, Window, QStringLiteral("Form_Load"));
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
    h.step(128, [&] { Text1->setText(stored(SettingsKeys::Server, SettingsKeys::DefaultServer)); });
    h.step(130, [&] { Text2->setText(stored(SettingsKeys::Port, SettingsKeys::DefaultPort)); });
    h.step(132, [&] { Text3->setText(stored(SettingsKeys::User)); });
    h.step(134, [&] { Text4->setText(stored(SettingsKeys::Password)); });
    h.step(136, [&] { Text5->setText(stored(SettingsKeys::Database)); });
    if (h.condition(138, [&] { return canConnect(); })) {
        h.step(140, [&] { emit connected(); });
        h.step(142, [&] { hide(); });
    } else {
        show();
    }
}

void Form1::PushButton5_Click()
{
    GuardedHandler h(messages_, Window, QStringLiteral("PushButton5_Click"));
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

void Form1::PushButton1_Click()
{
    GuardedHandler h(messages_, Window, QStringLiteral("PushButton1_Click"));
    QString first, second, address;
    h.step(100, [&] { first = HelpFirst; });
    h.step(102, [&] { second = HelpSecond; });
    h.step(104, [&] { address = PgAdminDownload; });
    h.step(106, [&] { messages_.info(first + second + QStringLiteral("\r\n\r\n") + address); });
}

void Form1::PushButton3_Click()
{
    GuardedHandler h(messages_, Window, QStringLiteral("PushButton3_Click"));
    if (!h.condition(100, [&] { return canConnect(); }))
        return;
    h.step(102, [&] { emit connected(); });
    h.step(104, [&] { hide(); });
    h.step(106, [&] { emit mainWindowLoadRequested(); });
}

void Form1::Text1_Change()
{
    save(SettingsKeys::Server, Text1->text());
}

void Form1::Text2_Change()
{
    save(SettingsKeys::Port, Text2->text());
}

void Form1::Text3_Change()
{
    save(SettingsKeys::User, Text3->text());
}

void Form1::Text4_Change()
{
    save(SettingsKeys::Password, Text4->text());
}

void Form1::Text5_Change()
{
    save(SettingsKeys::Database, Text5->text());
}

void Form1::save(const QString &key, const QString &value)
{
    // A store that cannot be written costs the user nothing now: the boxes keep the values
    // for this run, and the change handlers have no report.
    SettingsStore::Save(SettingsKeys::Application, SettingsKeys::Section, key, value);
}

bool Form1::canConnect()
{
    return CallRepainting([values = settings()] { return CanConnect(values); });
}

ConnectionSettings Form1::settings() const
{
    return {Text1->text(), Text2->text(), Text3->text(), Text4->text(), Text5->text()};
}

QWidget *Form1::firstControl() const
{
    return Text1;
}
