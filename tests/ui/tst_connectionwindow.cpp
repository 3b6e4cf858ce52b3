// The connection window against the test server: start-up with and without stored values
// that connect, saving on every change, "Test Connection", "Help", "Next >", the hand cursor
// and the pointer feedback, the flow between the windows up to the end of the program, and
// where the password is kept, with and without the tests' keyring.
#include "messagerecorder.h"
#include "testdatabase.h"
#include "testkeyring.h"

#include "app/windowflow.h"
#include "settings/settingsstore.h"
#include "ui/connectionwindow.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowmenus.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QEnterEvent>
#include <QFile>
#include <QImageWriter>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QtEndian>

namespace {

QString stored(const QString &key)
{
    return SettingsStore::Get(SettingsKeys::Application, SettingsKeys::Section, key,
                              QStringLiteral("<absent>"));
}

// Values that cannot connect, and fail at once: nothing listens on port 1.
ConnectionSettings unreachable()
{
    ConnectionSettings s = TestDatabase::settings();
    s.server = QStringLiteral("127.0.0.1");
    s.port = QStringLiteral("1");
    return s;
}

void typeInto(ConnectionWindow &form, const ConnectionSettings &s)
{
    form.findChild<QLineEdit *>("Text1")->setText(s.server);
    form.findChild<QLineEdit *>("Text2")->setText(s.port);
    form.findChild<QLineEdit *>("Text3")->setText(s.user);
    form.findChild<QLineEdit *>("Text4")->setText(s.password);
    form.findChild<QLineEdit *>("Text5")->setText(s.database);
}

// A Windows cursor file: an icon directory of type 2 whose entry carries the hot spot.
void writeCursorFile(const QString &path, QPoint hotSpot)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(QImageWriter(&buffer, "ico").write(image));
    QByteArray bytes = buffer.data();
    qToLittleEndian<quint16>(2, bytes.data() + 2);
    qToLittleEndian<quint16>(hotSpot.x(), bytes.data() + 10);
    qToLittleEndian<quint16>(hotSpot.y(), bytes.data() + 12);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void sendEnter(QWidget *widget)
{
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(widget, &enter);
}

void sendLeave(QWidget *widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
}

} // namespace

class TestConnectionWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstRunOnCleanStore();
    void startsOnMainWindowWhenStoredValuesConnect();
    void staysOnConnectionWindowWhenStoredValuesDoNotConnect();
    void everyChangeIsSavedAtOnce();
    void tabbingIntoBoxSelectsItsText();
    void testConnectionGood();
    void testConnectionBad_data();
    void testConnectionBad();
    void helpText();
    void nextWithValuesThatDoNotConnect();
    void handCursorFromProgramFolder();
    void unreadableCursorFileIsReportedAndLoadGoesOn();
    void pointerFeedbackLeavesHourglassAlone();
    void closingEitherWindowEndsTheProgram_data();
    void closingEitherWindowEndsTheProgram();
    void passwordPlace_data();
    void passwordPlace();

private:
    QTemporaryDir config_;
    QTemporaryDir program_; // a program folder without HAND-M.CUR
    MessageRecorder messages_;
};

void TestConnectionWindow::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_CONFIG_HOME", config_.filePath("config").toUtf8());
    QSqlDatabase db = TestDatabase::open();
    const QString failure = TestDatabase::exec(
        db, {"DROP SCHEMA IF EXISTS ui_connection CASCADE", "CREATE SCHEMA ui_connection",
             "CREATE TABLE ui_connection.towns (name text)"});
    TestDatabase::close(db);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestConnectionWindow::init()
{
    QFile::remove(SettingsStore::FilePath(SettingsKeys::Application));
    messages_.clear();
    messages_.onInfo = nullptr;
}

void TestConnectionWindow::firstRunOnCleanStore()
{
    WindowFlow flow(messages_, program_.path());
    ConnectionWindow &form = flow.connectionWindow();
    flow.start();
    QCOMPARE(form.findChild<QLineEdit *>("Text1")->text(), "localhost");
    QCOMPARE(form.findChild<QLineEdit *>("Text2")->text(), "5432");
    for (const char *name : {"Text3", "Text4", "Text5"})
        QCOMPARE(form.findChild<QLineEdit *>(name)->text(), QString());
    QVERIFY(form.isVisible());
    QVERIFY(!flow.mainWindow());
    QCOMPARE(form.windowTitle(), "Recasor");
    // The defaults are saved back; the empty boxes write nothing.
    QCOMPARE(stored(SettingsKeys::Server), "localhost");
    QCOMPARE(stored(SettingsKeys::Port), "5432");
    QCOMPARE(stored(SettingsKeys::User), "<absent>");
    QCOMPARE(stored(SettingsKeys::Password), "<absent>");
    QCOMPARE(stored(SettingsKeys::Database), "<absent>");
    QVERIFY(messages_.infos.isEmpty());
    QVERIFY(messages_.reports.isEmpty());
}

void TestConnectionWindow::startsOnMainWindowWhenStoredValuesConnect()
{
    QVERIFY(TestDatabase::store());
    WindowFlow flow(messages_, program_.path());
    ConnectionWindow &form = flow.connectionWindow();
    flow.start();
    QVERIFY(flow.mainWindow());
    QVERIFY(flow.mainWindow()->isVisible());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.findChild<QLineEdit *>("Text4")->text(), TestDatabase::settings().password);
    auto *tables = flow.mainWindow()->findChild<QTreeWidget *>("ListView1");
    QVERIFY(!tables->findItems("ui_connection.towns", Qt::MatchExactly).isEmpty());
    QVERIFY(messages_.reports.isEmpty());
    QVERIFY(messages_.infos.isEmpty());
}

void TestConnectionWindow::staysOnConnectionWindowWhenStoredValuesDoNotConnect()
{
    ConnectionSettings wrong = TestDatabase::settings();
    wrong.password = QStringLiteral("not the password");
    QVERIFY(TestDatabase::store(wrong));
    WindowFlow flow(messages_, program_.path());
    ConnectionWindow &form = flow.connectionWindow();
    flow.start();
    QVERIFY(form.isVisible());
    QVERIFY(!flow.mainWindow());
    QCOMPARE(form.findChild<QLineEdit *>("Text4")->text(), "not the password");
    QCOMPARE(form.findChild<QLineEdit *>("Text3")->text(), wrong.user);
    QVERIFY(messages_.reports.isEmpty());
    QVERIFY(messages_.infos.isEmpty());
}

void TestConnectionWindow::everyChangeIsSavedAtOnce()
{
    ConnectionWindow form(messages_, program_.path());
    form.load();
    auto *database = form.findChild<QLineEdit *>("Text5");
    database->setFocus();
    QTest::keyClick(database, Qt::Key_A);
    QCOMPARE(stored(SettingsKeys::Database), "a");
    QTest::keyClicks(database, "bc");
    QCOMPARE(stored(SettingsKeys::Database), "abc");
    // A box cleared by the user is stored empty, and the next start shows it empty.
    auto *server = form.findChild<QLineEdit *>("Text1");
    server->selectAll();
    QTest::keyClick(server, Qt::Key_Delete);
    QCOMPARE(stored(SettingsKeys::Server), QString());
    ConnectionWindow next(messages_, program_.path());
    next.load();
    QCOMPARE(next.findChild<QLineEdit *>("Text1")->text(), QString());
    QCOMPARE(next.findChild<QLineEdit *>("Text5")->text(), "abc");
}

void TestConnectionWindow::tabbingIntoBoxSelectsItsText()
{
    QVERIFY(TestDatabase::store(unreachable()));
    ConnectionWindow form(messages_, program_.path());
    form.load();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto *server = form.findChild<QLineEdit *>("Text1");
    auto *port = form.findChild<QLineEdit *>("Text2");
    QCOMPARE(QApplication::focusWidget(), server);
    QTest::keyClick(server, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), port);
    QCOMPARE(port->selectedText(), "1");
    QTest::keyClicks(port, "2");
    QCOMPARE(port->text(), "2");
    QCOMPARE(stored(SettingsKeys::Port), "2");
}

void TestConnectionWindow::testConnectionGood()
{
    ConnectionWindow form(messages_, program_.path());
    form.load();
    typeInto(form, TestDatabase::settings());
    QSqlDatabase db = TestDatabase::open();
    auto sessions = [&] {
        QSqlQuery query(db);
        query.exec("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()");
        query.next();
        return query.value(0).toInt();
    };
    const int before = sessions();
    int pointerWhileShown = -1;
    messages_.onInfo = [&](const QString &) { pointerWhileShown = form.pointer().value(); };
    form.findChild<QPushButton *>("PushButton5")->click();
    QCOMPARE(messages_.infos, QStringList{"Connection successful."});
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(pointerWhileShown, 0);
    QCOMPARE(form.pointer().value(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
    // The test's session is gone once the handler has ended.
    QTRY_COMPARE(sessions(), before);
    TestDatabase::close(db);
}

void TestConnectionWindow::testConnectionBad_data()
{
    // The box says what it always says; its details give the reason.
    QTest::addColumn<ConnectionSettings>("values");
    QTest::addColumn<QString>("reason");
    ConnectionSettings values = TestDatabase::settings();
    values.password = QStringLiteral("wrong");
    QTest::newRow("wrong password")
        << values
        << QStringLiteral("password authentication failed for user \"%1\"").arg(values.user);
    QTest::newRow("closed port")
        << unreachable()
        << QStringLiteral("Connection refused\nIs the server running on that host and accepting "
                          "TCP/IP connections?");
    values = TestDatabase::settings();
    values.database = QStringLiteral("ui_connection_no_such_database");
    QTest::newRow("unknown database")
        << values << QStringLiteral("database \"ui_connection_no_such_database\" does not exist");
}

void TestConnectionWindow::testConnectionBad()
{
    QFETCH(ConnectionSettings, values);
    QFETCH(QString, reason);
    ConnectionWindow form(messages_, program_.path());
    form.load();
    typeInto(form, values);
    form.findChild<QPushButton *>("PushButton5")->click();
    QCOMPARE(messages_.infos,
             QStringList{"Could not connect. Please check with your administrator."});
    QCOMPARE(messages_.infoDetails, QStringList{reason});
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(form.pointer().value(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestConnectionWindow::helpText()
{
    ConnectionWindow form(messages_, program_.path());
    form.findChild<QPushButton *>("PushButton1")->click();
    QCOMPARE(messages_.infos,
             QStringList{"If you can not connect, please try downloading pgAdmin III. If you can "
                         "not connect with that software, you know the login information you "
                         "are providing here is incorrect.\r\n\r\n"
                         "https://www.pgadmin.org/download/"});
    QVERIFY(messages_.reports.isEmpty());
}

void TestConnectionWindow::nextWithValuesThatDoNotConnect()
{
    WindowFlow flow(messages_, program_.path());
    ConnectionWindow &form = flow.connectionWindow();
    flow.start();
    typeInto(form, unreachable());
    form.findChild<QPushButton *>("PushButton3")->click();
    QVERIFY(form.isVisible());
    QVERIFY(!flow.mainWindow());
    QVERIFY(messages_.infos.isEmpty());
    QVERIFY(messages_.reports.isEmpty());
    // With values that connect, the first "Next >" makes the main window and lists the tables;
    // Return in a box presses it.
    typeInto(form, TestDatabase::settings());
    QTest::keyClick(form.findChild<QLineEdit *>("Text4"), Qt::Key_Return);
    QVERIFY(flow.mainWindow());
    QVERIFY(flow.mainWindow()->isVisible());
    QVERIFY(!form.isVisible());
    auto *tables = flow.mainWindow()->findChild<QTreeWidget *>("ListView1");
    QCOMPARE(tables->findItems("ui_connection.towns", Qt::MatchExactly).size(), 1);
    QVERIFY(messages_.reports.isEmpty());
}

void TestConnectionWindow::handCursorFromProgramFolder()
{
    QVERIFY(TestDatabase::store(unreachable()));
    ConnectionWindow plain(messages_, program_.path());
    plain.load();
    QCOMPARE(plain.pointer().customCursor().shape(), Qt::ArrowCursor);

    QTemporaryDir folder;
    writeCursorFile(folder.filePath("HAND-M.CUR"), {9, 3});
    ConnectionWindow form(messages_, folder.path());
    form.load();
    const QCursor hand = form.pointer().customCursor();
    QCOMPARE(hand.shape(), Qt::BitmapCursor);
    QCOMPARE(hand.pixmap().size(), QSize(32, 32));
    QCOMPARE(hand.hotSpot(), QPoint(9, 3));
    QVERIFY(messages_.reports.isEmpty());
}

void TestConnectionWindow::unreadableCursorFileIsReportedAndLoadGoesOn()
{
    QVERIFY(TestDatabase::store(unreachable()));
    QTemporaryDir folder;
    QFile broken(folder.filePath("HAND-M.CUR"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a cursor");
    broken.close();
    ConnectionWindow form(messages_, folder.path());
    form.load();
    QCOMPARE(messages_.reports.size(), 1);
    QCOMPARE(messages_.reports[0].handler, "Form_Load");
    QCOMPARE(messages_.reports[0].line, 126);
    // The later steps still ran.
    QCOMPARE(form.findChild<QLineEdit *>("Text2")->text(), "1");
    QVERIFY(form.isVisible());
}

void TestConnectionWindow::pointerFeedbackLeavesHourglassAlone()
{
    ConnectionWindow form(messages_, program_.path());
    auto *button = form.findChild<QPushButton *>("PushButton5");
    auto *box = form.findChild<QLineEdit *>("Text1");
    auto *label = form.findChild<QWidget *>("Label2");

    sendEnter(button);
    QCOMPARE(form.pointer().value(), 99);
    sendEnter(label); // labels leave the pointer as it is
    QCOMPARE(form.pointer().value(), 99);
    sendLeave(button); // back on the frame's background
    QCOMPARE(form.pointer().value(), 0);

    form.pointer().set(PointerState::Hourglass);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    for (QWidget *control : {static_cast<QWidget *>(button), static_cast<QWidget *>(box),
                             static_cast<QWidget *>(&form)}) {
        sendEnter(control);
        sendLeave(control);
        QCOMPARE(form.pointer().value(), 11);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    form.pointer().set(PointerState::Default);
    QVERIFY(!QGuiApplication::overrideCursor());
    sendEnter(box);
    QCOMPARE(form.pointer().value(), 0);
}

void TestConnectionWindow::closingEitherWindowEndsTheProgram_data()
{
    QTest::addColumn<bool>("connects");
    QTest::addColumn<bool>("setupFirst"); // "Setup Connection" before the close
    QTest::addColumn<bool>("closeMain");
    QTest::addColumn<bool>("quit"); // by File → Quit (Ctrl+Q) rather than the window's close
    QTest::newRow("connection window at start") << false << false << false << false;
    QTest::newRow("main window, connection window hidden") << true << false << true << false;
    QTest::newRow("connection window, main window hidden") << true << true << false << false;
    QTest::newRow("main window, Ctrl+Q") << true << false << true << true;
}

void TestConnectionWindow::closingEitherWindowEndsTheProgram()
{
    QFETCH(bool, connects);
    QFETCH(bool, setupFirst);
    QFETCH(bool, closeMain);
    QFETCH(bool, quit);
    QVERIFY(connects ? TestDatabase::store() : TestDatabase::store(unreachable()));
    WindowFlow flow(messages_, program_.path());
    flow.start();
    QCOMPARE(flow.mainWindow() != nullptr, connects);
    if (setupFirst) {
        flow.mainWindow()->findChild<QPushButton *>("PushButton5")->click();
        QVERIFY(!flow.mainWindow()->isVisible());
    }
    QWidget *window = closeMain ? static_cast<QWidget *>(flow.mainWindow())
                                : static_cast<QWidget *>(&flow.connectionWindow());
    QVERIFY(window->isVisible());
    // The program's own event loop runs until the close ends it; a close that leaves it
    // running meets the time limit, which ends the loop with another code.
    QAction *quitAction = window->findChild<QAction *>("QuitAction");
    if (quit)
        QCOMPARE(quitAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QTimer::singleShot(0, window, [window, quit, quitAction] {
        if (quit)
            quitAction->trigger();
        else
            window->close();
    });
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    limit.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!window->isVisible());
    QVERIFY(messages_.reports.isEmpty());
}

void TestConnectionWindow::passwordPlace_data()
{
    // The rows without a keyring come first: the process keeps the first session bus it reaches.
    QTest::addColumn<QString>("keyring"); // "none", "nowhere", "working" or "locked"
    QTest::addColumn<bool>("leftInFile"); // the settings file holds a password from before
    QTest::addColumn<bool>("inKeyring");  // where the password is kept in the end
    QTest::newRow("no session bus") << "none" << false << false;
    QTest::newRow("bus pointing nowhere") << "nowhere" << false << false;
    QTest::newRow("keyring") << "working" << false << true;
    QTest::newRow("keyring, password left in the settings file") << "working" << true << true;
    QTest::newRow("locked keyring") << "locked" << false << false;
    QTest::newRow("locked keyring, password left in the settings file")
        << "locked" << true << false;
}

void TestConnectionWindow::passwordPlace()
{
    QFETCH(QString, keyring);
    QFETCH(bool, leftInFile);
    QFETCH(bool, inKeyring);
    const bool testKeyring = keyring == "working" || keyring == "locked";
    if (testKeyring)
        REQUIRE_TEST_KEYRING();
    const TestKeyring::Bus bus(keyring == "none" ? QByteArray()
                               : keyring == "nowhere"
                                   ? "unix:path=" + config_.filePath("no-bus").toUtf8()
                                   : qgetenv("RECASOR_TEST_KEYRING_BUS"));
    ConnectionSettings values = unreachable();
    values.password = leftInFile ? QStringLiteral("Old-pw;{1}") : QString();
    const KeyringAccount account = TestKeyring::accountOf(values);
    if (testKeyring)
        QVERIFY(TestKeyring::put(account, QString()));
    QVERIFY(TestDatabase::store(values));
    const QString password = leftInFile ? values.password : QStringLiteral("Typed-pw");
    {
        std::optional<TestKeyring::Locked> locked;
        if (keyring == "locked")
            QVERIFY(locked.emplace().locked());
        {
            ConnectionWindow form(messages_, program_.path());
            form.load();
            auto *box = form.findChild<QLineEdit *>("Text4");
            if (!leftInFile) {
                box->setFocus();
                QTest::keyClicks(box, password);
            }
            QCOMPARE(box->text(), password);
        } // the window's end waits for the keyring's answer
        QCOMPARE(SettingsStore::Get(SettingsKeys::Application, SettingsKeys::Section,
                                    SettingsKeys::Password),
                 inKeyring ? QString() : password);
        const QFileDevice::Permissions others =
            QFile::permissions(SettingsStore::FilePath(SettingsKeys::Application)) &
            ~(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
              QFileDevice::WriteUser);
        QCOMPARE(others, QFileDevice::Permissions());
        const QString about = MainWindowMenus::AboutText();
        QVERIFY2(about.contains(inKeyring ? "\nPassword: in the system keyring"
                                          : "\nPassword: in the settings file, readable by "
                                            "you only"),
                 qPrintable(about));
    }
    if (testKeyring) {
        const KeyringAnswer answer = TestKeyring::read(account);
        QCOMPARE(answer.outcome,
                 inKeyring ? KeyringAnswer::Outcome::Found : KeyringAnswer::Outcome::NotFound);
        QCOMPARE(answer.password, inKeyring ? password : QString());
    }
    {
        // The next start shows it, wherever it was kept.
        ConnectionWindow next(messages_, program_.path());
        next.load();
        QCOMPARE(next.findChild<QLineEdit *>("Text4")->text(), password);
    }
    if (testKeyring)
        QVERIFY(TestKeyring::put(account, QString()));
    QVERIFY(messages_.reports.isEmpty());
}

QTEST_MAIN(TestConnectionWindow)
#include "tst_connectionwindow.moc"
