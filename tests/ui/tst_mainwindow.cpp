// The main window against the test server: the load step, the lists on clicks, "Setup
// Connection" and "Next >" back and forth, a load against a server that cannot be reached,
// the select buttons, and change runs started from "Start Changing" with what the status line and
// the messages say after them.
#include "lockholder.h"
#include "messagerecorder.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include "app/windowflow.h"
#include "db/catalogue.h"
#include "db/dbsession.h"
#include "jobs/jobtexts.h"
#include "settings/settingsstore.h"
#include "ui/connectionwindow.h"
#include "ui/mainwindow.h"
#include "ui/statusline.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

namespace {

const QString OtherDatabase = QStringLiteral("recasor_ui_other");
const QString Runner = QStringLiteral("ui_main_runner");

QStringList texts(const QTreeWidget *list)
{
    QStringList result;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        result << list->topLevelItem(i)->text(0);
    return result;
}

QStringList displayNames(const QList<TableRef> &tables)
{
    QStringList names;
    for (const TableRef &table : tables)
        names << table.displayName();
    return names;
}

} // namespace

class TestMainWindow : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loadStepFillsTheWindow();
    void clicksListFieldsAndPreview();
    void refreshKeepsWhatWasChosen();
    void failedListingOnClickKeepsTableAndFieldsTogether();
    void setupConnectionAndNextBackAndForth();
    void loadAgainstUnreachableServerGivesTwoReports();
    void selectAndUnselectAllFields();
    void pleaseSelectAField();
    void changeRunFromTheButton();
    void changeRunWithSeveralSelectedFields();
    void changeRunWithWordExceptions();
    void refusedValueIsReportedAndCounted();
    void cutPreviewValueIsConvertedAfterARun();
    void failedRunIsReportedOnce_data();
    void failedRunIsReportedOnce();
    void modeTextWithoutModeWord();
    void keyboardMovesThroughTheLists();
    void stoppedRunSaysHowFarItGot();
    void statusLineFollowsTheRun();
    void closingDuringARunWaitsForIt(); // last: closing the window ends the event loops

private:
    QTreeWidget *list(const char *name) { return main()->findChild<QTreeWidget *>(name); }
    ConnectionWindow *form1() { return &flow_->connectionWindow(); }
    MainWindow *main() { return flow_->mainWindow(); }
    void dropRunner();
    void clickItem(QTreeWidget *list, const QString &text);
    void clickTable(const QString &name) { clickItem(list("ListView1"), name); }
    void clickField(const QString &name) { clickItem(list("ListView2"), name); }
    void startAndWait();
    QString statusLine() { return main()->statusLine().line(); }

    QTemporaryDir config_;
    MessageRecorder messages_;
    std::unique_ptr<WindowFlow> flow_;
};

void TestMainWindow::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_CONFIG_HOME", config_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", config_.filePath("data").toUtf8());
    dropRunner();
    exec({"DROP SCHEMA IF EXISTS ui_main CASCADE", "CREATE SCHEMA ui_main",
          "DROP DATABASE IF EXISTS " + OtherDatabase, "CREATE DATABASE " + OtherDatabase});
    ConnectionSettings other = TestDatabase::settings();
    other.database = OtherDatabase;
    DbSession session(other);
    session.execute("CREATE TABLE public.elsewhere (only_here text)");
}

void TestMainWindow::init()
{
    exec({"DROP TABLE IF EXISTS ui_main.people, ui_main.guarded, ui_main.shapeless, ui_main.big, "
          "ui_main.long",
          "CREATE TABLE ui_main.people (id int, name text, city text)",
          "INSERT INTO ui_main.people VALUES (1, 'jOHN o''neil', 'new YORK'), "
          "(2, 'MARY smith', 'paris'), (3, NULL, 'LONDON'), (4, 'ana-lena', NULL)",
          "CREATE TABLE ui_main.guarded (name text CHECK (name <> 'BETA'))",
          "INSERT INTO ui_main.guarded VALUES ('alpha'), ('beta'), ('gamma')",
          "CREATE TABLE ui_main.shapeless ()", "CREATE TABLE ui_main.long (t text)",
          "INSERT INTO ui_main.long VALUES (repeat('ab cd ', 300)), ('ef')"});
    QFile::remove(SettingsStore::FilePath(SettingsKeys::Application));
    TestDatabase::store();
    messages_.clear();
    flow_ = std::make_unique<WindowFlow>(messages_, config_.path());
    flow_->start();
    QVERIFY(main());
    QVERIFY(QTest::qWaitForWindowExposed(main()));
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::cleanup()
{
    flow_.reset();
}

void TestMainWindow::dropRunner()
{
    exec({"DO $$ BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = '" + Runner +
          "') THEN DROP OWNED BY " + Runner + "; DROP ROLE " + Runner + "; END IF; END $$"});
}

void TestMainWindow::clickItem(QTreeWidget *list, const QString &text)
{
    const QList<QTreeWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    list->scrollToItem(found[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found[0]).center());
}

void TestMainWindow::startAndWait()
{
    QSignalSpy ended(main(), &MainWindow::changeRunEnded);
    main()->findChild<QPushButton *>("PushButton1")->click();
    QVERIFY(main()->isChanging());
    QVERIFY(ended.wait(60000));
    QVERIFY(!main()->isChanging());
}

void TestMainWindow::loadStepFillsTheWindow()
{
    const QList<TableRef> tables = ListTables(TestDatabase::settings());
    QCOMPARE(texts(list("ListView1")), displayNames(tables));
    QCOMPARE(list("ListView1")->currentItem(), list("ListView1")->topLevelItem(0));
    QCOMPARE(texts(list("ListView2")), ListFields(TestDatabase::settings(), tables[0]));
    auto *combo = main()->findChild<QComboBox *>("Combo1");
    QCOMPARE(combo->count(), 4);
    QCOMPARE(combo->itemText(0), "UPPER CASE");
    QCOMPARE(combo->itemText(1), "lower case");
    QCOMPARE(combo->itemText(2), "Proper Case");
    QCOMPARE(combo->itemText(3), "Sentence case");
    QCOMPARE(combo->currentText(), "UPPER CASE");
    QCOMPARE(list("ListView1")->headerItem()->text(0), "Table(s)");
    QCOMPARE(list("ListView2")->headerItem()->text(0), "Field(s)");
    QCOMPARE(list("ListView3")->headerItem()->text(0), "First 100 Entries (Preview)");
    QCOMPARE(list("ListView1")->columnWidth(0), 267); // 4000 twips
    QCOMPARE(list("ListView2")->columnWidth(0), 267);
    QCOMPARE(list("ListView3")->columnWidth(0), 533); // 8000 twips
    QCOMPARE(main()->windowTitle(), "Recasor");
    QCOMPARE(main()->pointer().value(), 0);
}

void TestMainWindow::refreshKeepsWhatWasChosen()
{
    clickTable("ui_main.people");
    clickField("city");
    list("ListView2")->findItems("name", Qt::MatchExactly)[0]->setSelected(true);
    // Another client adds a table and changes a value; F5 shows both, on the same table and
    // fields.
    exec({"CREATE TABLE ui_main.added (v text)",
          "UPDATE ui_main.people SET city = 'rome' WHERE city = 'paris'"});
    QAction *refresh = main()->findChild<QAction *>("RefreshAction");
    QCOMPARE(refresh->shortcut(), QKeySequence(Qt::Key_F5));
    refresh->trigger();
    exec({"DROP TABLE ui_main.added", "UPDATE ui_main.people SET city = 'paris' WHERE city = "
                                      "'rome'"});
    QCOMPARE(list("ListView1")->findItems("ui_main.added", Qt::MatchExactly).size(), 1);
    QCOMPARE(list("ListView1")->currentItem()->text(0), "ui_main.people");
    QStringList selected;
    for (const QTreeWidgetItem *item : list("ListView2")->selectedItems())
        selected << item->text(0);
    selected.sort();
    QCOMPARE(selected, (QStringList{"city", "name"}));
    // The values in the server's order, where the updated row now stands last.
    QCOMPARE(texts(list("ListView3")), QStringList({"new YORK", "LONDON", "", "rome"}));
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::clicksListFieldsAndPreview()
{
    clickTable("ui_main.people");
    QCOMPARE(texts(list("ListView2")), QStringList({"id", "name", "city"}));
    QCOMPARE(texts(list("ListView3")), QStringList({"1", "2", "3", "4"}));
    // A field a run leaves alone says so, in grey; the others look as they always did.
    const QTreeWidgetItem *id = list("ListView2")->topLevelItem(0);
    const QTreeWidgetItem *name = list("ListView2")->topLevelItem(1);
    QVERIFY2(id->toolTip(0).contains("id (integer): a run leaves it alone (not text)"),
             qPrintable(id->toolTip(0)));
    QVERIFY(id->foreground(0) != name->foreground(0));
    QVERIFY(name->toolTip(0).isEmpty());
    clickField("city");
    QCOMPARE(texts(list("ListView3")), QStringList({"new YORK", "paris", "LONDON", ""}));
    clickField("name");
    QCOMPARE(texts(list("ListView3")), QStringList({"jOHN o'neil", "MARY smith", "", "ana-lena"}));
    // A table without columns: no fields, no preview.
    clickTable("ui_main.shapeless");
    QVERIFY(texts(list("ListView2")).isEmpty());
    QVERIFY(texts(list("ListView3")).isEmpty());
    QCOMPARE(main()->pointer().value(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::failedListingOnClickKeepsTableAndFieldsTogether()
{
    exec({"CREATE TABLE ui_main.vanishing (v text)"});
    main()->load();
    clickTable("ui_main.people");
    exec({"DROP TABLE ui_main.vanishing"});
    clickTable("ui_main.vanishing");
    QCOMPARE(messages_.reports.size(), 1);
    QCOMPARE(messages_.reports[0].handler, "ListView1_Click");
    QCOMPARE(messages_.reports[0].line, 100);
    QVERIFY2(messages_.reports[0].failure.contains("vanishing"),
             qPrintable(messages_.reports[0].failure));
    // The table list points again at the table whose fields are shown, so that a run started
    // now works on the table the user sees.
    QCOMPARE(list("ListView1")->currentItem()->text(0), "ui_main.people");
    QCOMPARE(texts(list("ListView2")), QStringList({"id", "name", "city"}));
    QCOMPARE(main()->pointer().value(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestMainWindow::setupConnectionAndNextBackAndForth()
{
    MainWindow *window = main();
    auto *database = form1()->findChild<QLineEdit *>("Text5");
    for (const QString &name : {OtherDatabase, TestDatabase::settings().database, OtherDatabase}) {
        window->findChild<QPushButton *>("PushButton5")->click();
        QVERIFY(form1()->isVisible());
        QVERIFY(!window->isVisible());
        database->setText(name);
        form1()->findChild<QPushButton *>("PushButton3")->click();
        QCOMPARE(main(), window); // the same window, shown again
        QVERIFY(window->isVisible());
        QVERIFY(!form1()->isVisible());

        ConnectionSettings current = TestDatabase::settings();
        current.database = name;
        QCOMPARE(texts(list("ListView1")), displayNames(ListTables(current)));
        QCOMPARE(main()->findChild<QComboBox *>("Combo1")->count(), 4);
        QCOMPARE(main()->findChild<QComboBox *>("Combo1")->currentText(), "UPPER CASE");
        for (const char *name : {"ListView1", "ListView2", "ListView3"})
            QCOMPARE(list(name)->columnCount(), 1);
    }
    QCOMPARE(texts(list("ListView1")), QStringList{"elsewhere"});
    QCOMPARE(texts(list("ListView2")), QStringList{"only_here"});
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::loadAgainstUnreachableServerGivesTwoReports()
{
    clickTable("ui_main.people");
    form1()->findChild<QLineEdit *>("Text1")->setText("127.0.0.1");
    form1()->findChild<QLineEdit *>("Text2")->setText("1");
    main()->load();
    QCOMPARE(messages_.reports.size(), 2);
    QCOMPARE(messages_.reports[0].window, "Form2");
    QCOMPARE(messages_.reports[0].handler, "Form_Load");
    QCOMPARE(messages_.reports[0].line, 112);
    QCOMPARE(messages_.reports[1].handler, "Form_Load");
    QCOMPARE(messages_.reports[1].line, 114);
    QVERIFY(!messages_.reports[0].failure.isEmpty());
    QVERIFY(list("ListView1")->topLevelItemCount() == 0);
    // The fields and preview of the table of the earlier connection are not left standing.
    QVERIFY(list("ListView2")->topLevelItemCount() == 0);
    QVERIFY(list("ListView3")->topLevelItemCount() == 0);
    QCOMPARE(main()->findChild<QComboBox *>("Combo1")->count(), 4);
    QCOMPARE(main()->pointer().value(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestMainWindow::selectAndUnselectAllFields()
{
    clickTable("ui_main.people");
    const QStringList preview = texts(list("ListView3"));
    main()->findChild<QPushButton *>("PushButton2")->click();
    QCOMPARE(list("ListView2")->selectedItems().size(), 3);
    main()->findChild<QPushButton *>("PushButton3")->click();
    QCOMPARE(list("ListView2")->selectedItems().size(), 0);
    QCOMPARE(texts(list("ListView3")), preview);
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::pleaseSelectAField()
{
    clickTable("ui_main.people");
    main()->findChild<QPushButton *>("PushButton3")->click(); // nothing selected
    main()->findChild<QPushButton *>("PushButton1")->click();
    QCOMPARE(messages_.infos, QStringList{"Please select a field."});
    QVERIFY(!main()->isChanging());
    QCOMPARE(main()->pointer().value(), 0);

    clickTable("ui_main.shapeless"); // an empty field list
    messages_.clear();
    main()->findChild<QPushButton *>("PushButton1")->click();
    QCOMPARE(messages_.infos, QStringList{"Please select a field."});
    QVERIFY(!main()->isChanging());
}

void TestMainWindow::changeRunFromTheButton()
{
    clickTable("ui_main.people");
    clickField("name");
    main()->findChild<QComboBox *>("Combo1")->setCurrentText("Proper Case");

    QSignalSpy ended(main(), &MainWindow::changeRunEnded);
    auto *bar = main()->findChild<QProgressBar *>("ProgressBar1");
    QList<QPair<int, QString>> barShows;
    connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
        barShows.append({value, bar->text()});
    });
    main()->findChild<QPushButton *>("PushButton1")->click();
    // While it runs: hourglass, and nothing that would change the run can be used.
    QVERIFY(main()->isChanging());
    QCOMPARE(bar->text(), "Progress Bar");
    QCOMPARE(main()->pointer().value(), 11);
    for (const char *name : {"ListView1", "ListView2", "Combo1", "PushButton1", "PushButton2",
                             "PushButton3", "PushButton5"})
        QVERIFY2(!main()->findChild<QWidget *>(name)->isEnabled(), name);
    main()->startChanging(); // a second start is refused
    QVERIFY(ended.wait(60000));
    QCOMPARE(ended.size(), 1);

    QCOMPARE(column("SELECT name FROM ui_main.people ORDER BY id"),
             QStringList({"John O'neil", "Mary Smith", "<null>", "Ana-lena"}));
    QCOMPARE(column("SELECT city FROM ui_main.people ORDER BY id"),
             QStringList({"new YORK", "paris", "LONDON", "<null>"}));
    QCOMPARE(texts(list("ListView3")), QStringList({"John O'neil", "Mary Smith", "", "Ana-lena"}));
    QCOMPARE(main()->pointer().value(), 0);
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->text(), "Progress Bar");
    // The bar moved, and kept its text throughout.
    QVERIFY(
        std::any_of(barShows.begin(), barShows.end(), [](auto shown) { return shown.first > 0; }));
    for (const auto &[value, text] : barShows)
        QCOMPARE(text, "Progress Bar");
    for (const char *name : {"ListView1", "ListView2", "Combo1", "PushButton1", "PushButton5"})
        QVERIFY2(main()->findChild<QWidget *>(name)->isEnabled(), name);
    QVERIFY(messages_.infos.isEmpty());
    QVERIFY(messages_.reports.isEmpty());
    // No box, but the status line says what happened, until the next task begins.
    QVERIFY2(
        statusLine().startsWith("Changed 3 rows in ui_main.people (name) to Proper Case in ") &&
            statusLine().endsWith(" s; Ctrl+Z takes it back."),
        qPrintable(statusLine()));
    // The next task's line says what it does instead.
    main()->findChild<QPushButton *>("PushButton1")->click();
    QVERIFY2(statusLine().startsWith("Changing ui_main.people (name) to Proper Case"),
             qPrintable(statusLine()));
    QVERIFY(ended.wait(60000));
    QVERIFY2(
        statusLine().startsWith("Nothing to change in ui_main.people (name) for Proper Case ("),
        qPrintable(statusLine()));
}

void TestMainWindow::changeRunWithSeveralSelectedFields()
{
    clickTable("ui_main.people");
    clickField("city"); // the preview shows city
    main()->findChild<QPushButton *>("PushButton3")->click();
    list("ListView2")->findItems("name", Qt::MatchExactly)[0]->setSelected(true);
    list("ListView2")->findItems("city", Qt::MatchExactly)[0]->setSelected(true);
    main()->findChild<QComboBox *>("Combo1")->setCurrentText("lower case");
    startAndWait();
    QCOMPARE(column("SELECT name FROM ui_main.people ORDER BY id"),
             QStringList({"john o'neil", "mary smith", "<null>", "ana-lena"}));
    QCOMPARE(column("SELECT city FROM ui_main.people ORDER BY id"),
             QStringList({"new york", "paris", "london", "<null>"}));
    QCOMPARE(texts(list("ListView3")), QStringList({"new york", "paris", "london", ""}));
    QVERIFY(messages_.infos.isEmpty());
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::changeRunWithWordExceptions()
{
    // The run and the preview after it use the list and the name rules' option stored when the
    // run started, even when they are changed while the run goes.
    QVERIFY(SettingsStore::SaveExceptionWords({"O'Neil", "NEW YORK", "MARY"}));
    QVERIFY(SettingsStore::SaveNameRules(true));
    clickTable("ui_main.people");
    clickField("name");
    main()->findChild<QPushButton *>("PushButton3")->click();
    list("ListView2")->findItems("name", Qt::MatchExactly)[0]->setSelected(true);
    list("ListView2")->findItems("city", Qt::MatchExactly)[0]->setSelected(true);
    main()->findChild<QComboBox *>("Combo1")->setCurrentText("Proper Case");
    QSignalSpy ended(main(), &MainWindow::changeRunEnded);
    main()->findChild<QPushButton *>("PushButton1")->click();
    QVERIFY(SettingsStore::SaveExceptionWords({"New york"}));
    QVERIFY(SettingsStore::SaveNameRules(false));
    QVERIFY(ended.wait(60000));
    QCOMPARE(column("SELECT name FROM ui_main.people ORDER BY id"),
             QStringList({"John O'Neil", "MARY Smith", "<null>", "Ana-Lena"}));
    QCOMPARE(column("SELECT city FROM ui_main.people ORDER BY id"),
             QStringList({"NEW YORK", "Paris", "London", "<null>"}));
    QCOMPARE(texts(list("ListView3")), QStringList({"John O'Neil", "MARY Smith", "", "Ana-Lena"}));
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::refusedValueIsReportedAndCounted()
{
    clickTable("ui_main.guarded");
    QCOMPARE(texts(list("ListView3")), QStringList({"alpha", "beta", "gamma"}));
    startAndWait(); // UPPER CASE; the table refuses "BETA"
    QCOMPARE(column("SELECT name FROM ui_main.guarded ORDER BY name"),
             QStringList({"ALPHA", "GAMMA", "beta"}));
    QCOMPARE(messages_.reports.size(), 1);
    QCOMPARE(messages_.reports[0].window, "Form2");
    QCOMPARE(messages_.reports[0].handler, "PushButton1_Click");
    QCOMPARE(messages_.reports[0].line, 148);
    QVERIFY2(messages_.reports[0].failure.contains("check"),
             qPrintable(messages_.reports[0].failure));
    QCOMPARE(messages_.infos.size(), 1);
    QVERIFY2(messages_.infos[0].startsWith("1 row could not be written; it keeps its old letter "
                                           "case.\nThe server's reason:\n  1 row: ERROR: "),
             qPrintable(messages_.infos[0]));
    // The preview shows what the table holds, not what the rule would have made of it.
    QStringList preview = texts(list("ListView3"));
    preview.sort();
    QCOMPARE(preview, QStringList({"ALPHA", "GAMMA", "beta"}));
}

void TestMainWindow::cutPreviewValueIsConvertedAfterARun()
{
    clickTable("ui_main.long");
    const QString more(QChar(0x2026));
    QCOMPARE(texts(list("ListView3")),
             QStringList({QStringLiteral("ab cd ").repeated(300).left(1000) + more, "ef"}));
    main()->findChild<QComboBox *>("Combo1")->setCurrentText("Proper Case");
    startAndWait();
    // The whole value is converted; the preview shows the converted beginning and "…".
    QCOMPARE(column("SELECT t = repeat('Ab Cd ', 300) FROM ui_main.long WHERE t <> 'Ef'"),
             QStringList{"1"});
    QCOMPARE(texts(list("ListView3")),
             QStringList({QStringLiteral("Ab Cd ").repeated(300).left(1000) + more, "Ef"}));
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::failedRunIsReportedOnce_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("lockedRow");
    QTest::addColumn<bool>("wroteRows");
    QTest::newRow("before the first write") << "people"
                                            << "name"
                                            << "id = 2" << false;
    // The write of the first chunk waits for its row while the next chunk is written.
    QTest::newRow("after other writes") << "many"
                                        << "v"
                                        << "id = 1" << true;
}

void TestMainWindow::failedRunIsReportedOnce()
{
    // The window works as a role of its own. Once its run waits on a row that another session
    // holds, the role may no longer log in and its sessions are ended: the run fails, and so
    // does the reading of the preview after it, for the same reason. What the run wrote
    // before is said as after a stop.
    QFETCH(QString, table);
    QFETCH(QString, field);
    QFETCH(QString, lockedRow);
    QFETCH(bool, wroteRows);
    dropRunner();
    exec({"DROP TABLE IF EXISTS ui_main.many",
          "CREATE TABLE ui_main.many AS SELECT n AS id, 'abc ' || n AS v "
          "FROM generate_series(1, 50000) n",
          "CREATE ROLE " + Runner + " LOGIN PASSWORD 'runner-pw'",
          "GRANT USAGE ON SCHEMA ui_main TO " + Runner,
          "GRANT SELECT, UPDATE ON ui_main." + table + " TO " + Runner});
    main()->load();
    form1()->findChild<QLineEdit *>("Text3")->setText(Runner);
    form1()->findChild<QLineEdit *>("Text4")->setText("runner-pw");
    clickTable("ui_main." + table);
    clickField(field);
    QVERIFY(messages_.reports.isEmpty());

    // Ends its transaction on every path out of the test, or the tables stay locked.
    LockHolder holder(
        "row holder",
        {QStringLiteral("SELECT * FROM ui_main.%1 WHERE %2 FOR UPDATE").arg(table, lockedRow)});
    QVERIFY2(holder.error().isEmpty(), qPrintable(holder.error()));
    const QString converted =
        QStringLiteral("SELECT count(*) FROM ui_main.%1 WHERE %2 = upper(%2)").arg(table, field);
    QTimer refuse;
    connect(&refuse, &QTimer::timeout, this, [&] {
        if (column("SELECT count(*) FROM pg_stat_activity WHERE usename = '" + Runner +
                   "' AND wait_event_type = 'Lock'") == QStringList{"0"} ||
            (wroteRows && column(converted) == QStringList{"0"}))
            return;
        refuse.stop();
        exec({"ALTER ROLE " + Runner + " NOLOGIN",
              "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = '" + Runner +
                  "'"});
    });
    refuse.start(50);
    startAndWait();
    QVERIFY(!refuse.isActive());

    QCOMPARE(messages_.reports.size(), 1);
    QCOMPARE(messages_.reports[0].line, 148);
    // The server's text, without the driver's leftovers after it. (With other writes, the
    // failure that ends the run may be that of a statement sent after the session was ended,
    // which the driver describes.)
    const QString failure = messages_.reports[0].failure;
    QVERIFY2(wroteRows ||
                 failure.startsWith("FATAL:  terminating connection due to administrator command"),
             qPrintable(failure));
    QVERIFY2(!failure.contains("The connection has been lost") && !failure.contains("\n;"),
             qPrintable(failure));
    const qint64 written = column(converted)[0].toLongLong();
    if (wroteRows) {
        QVERIFY(written > 0);
        QCOMPARE(messages_.infos,
                 QStringList{"The change run ended before it was complete.\n\nRows written: " +
                             GroupedCount(written) +
                             "\nThe other rows keep their old letter case; Undo Last Change Run "
                             "takes back what was written."});
        QVERIFY2(statusLine().startsWith("Change run failed after ") &&
                     statusLine().contains(": " + GroupedCount(written) + " rows of ui_main." +
                                           table + " written;"),
                 qPrintable(statusLine()));
    } else {
        QCOMPARE(written, 0);
        QVERIFY(messages_.infos.isEmpty());
        QVERIFY2(statusLine().endsWith(": nothing was written to ui_main." + table + "."),
                 qPrintable(statusLine()));
    }
    dropRunner();
}

void TestMainWindow::modeTextWithoutModeWord()
{
    clickTable("ui_main.people");
    clickField("name");
    const QStringList preview = texts(list("ListView3"));
    auto *combo = main()->findChild<QComboBox *>("Combo1");
    combo->addItem("Title Case");
    combo->setCurrentText("Title Case");
    startAndWait();
    QCOMPARE(messages_.infos, QStringList{"mess up"});
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(column("SELECT name FROM ui_main.people ORDER BY id"),
             QStringList({"jOHN o'neil", "MARY smith", "<null>", "ana-lena"}));
    QCOMPARE(texts(list("ListView3")), preview);
}

void TestMainWindow::keyboardMovesThroughTheLists()
{
    clickTable("ui_main.people");
    list("ListView2")->setFocus();
    QTest::keyClick(list("ListView2"), Qt::Key_Down);
    QCOMPARE(list("ListView2")->currentItem()->text(0), "name");
    QCOMPARE(texts(list("ListView3")), QStringList({"jOHN o'neil", "MARY smith", "", "ana-lena"}));
    // From the first table to the second, whatever order the server lists them in.
    QTreeWidget *tables = list("ListView1");
    QVERIFY(tables->topLevelItemCount() >= 2);
    clickTable(tables->topLevelItem(0)->text(0));
    const int next = 1;
    tables->setFocus();
    QTest::keyClick(tables, Qt::Key_Down);
    QCOMPARE(tables->currentItem(), tables->topLevelItem(next));
    const TableRef table = tables->topLevelItem(next)->data(0, Qt::UserRole).value<TableRef>();
    QCOMPARE(texts(list("ListView2")), ListFields(TestDatabase::settings(), table));
    QVERIFY(messages_.reports.isEmpty());
}

void TestMainWindow::closingDuringARunWaitsForIt()
{
    // Another client holds a row lock that the run's first write waits for; a close 1 s into
    // the run ends it at once, and every value is still in one case or the other.
    exec({"CREATE TABLE ui_main.big AS SELECT 'abc ' || n AS v FROM generate_series(1, 50000) n"});
    QSqlDatabase holder = TestDatabase::open();
    QVERIFY(TestDatabase::exec(holder, {"SET idle_in_transaction_session_timeout = '30s'", "BEGIN",
                                        "SELECT * FROM ui_main.big WHERE v = 'abc 3' FOR UPDATE"})
                .isEmpty());
    main()->load();
    clickTable("ui_main.big");
    main()->findChild<QPushButton *>("PushButton1")->click();
    QVERIFY(main()->isChanging());
    QTest::qWait(1000);
    QVERIFY(main()->isChanging());
    QElapsedTimer clock;
    clock.start();
    main()->close();
    const qint64 closing = clock.elapsed();
    QVERIFY(!main()->isChanging());
    TestDatabase::exec(holder, {"ROLLBACK"});
    TestDatabase::close(holder);
    QVERIFY2(closing < 2000, qPrintable(QString::number(closing)));
    QCOMPARE(column("SELECT count(*) FROM ui_main.big WHERE v NOT LIKE 'abc %' AND v NOT LIKE "
                    "'ABC %'"),
             QStringList{"0"});
}

void TestMainWindow::stoppedRunSaysHowFarItGot()
{
    // The run waits for another client's row lock, and the status line says whose it is, until
    // Stop; what the run wrote is counted, before the field it left alone is named.
    exec({"CREATE TABLE ui_main.stopped AS SELECT 'abc ' || n AS v, '{}'::jsonb AS data "
          "FROM generate_series(1, 50000) n"});
    LockHolder holder("row holder", {"SELECT * FROM ui_main.stopped WHERE v = 'abc 3' FOR UPDATE"});
    QVERIFY2(holder.error().isEmpty(), qPrintable(holder.error()));
    main()->load();
    clickTable("ui_main.stopped");
    main()->findChild<QPushButton *>("PushButton2")->click();
    QSignalSpy ended(main(), &MainWindow::changeRunEnded);
    main()->findChild<QPushButton *>("PushButton1")->click();
    const QString waiting = LockHolder::WaitForLine(*main());
    QVERIFY(main()->isChanging());
    // The Stop button at the status line's right end does what Esc does.
    auto *stop = main()->findChild<QPushButton *>("StatusStop");
    QVERIFY(stop->isVisible());
    stop->click();
    QVERIFY(ended.wait(10000));
    QVERIFY(!stop->isVisible());
    holder.release();
    QVERIFY2(waiting.contains(holder.heldText("ui_main.stopped")), qPrintable(waiting));
    QVERIFY(messages_.reports.isEmpty());
    const qint64 written =
        column("SELECT count(*) FROM ui_main.stopped WHERE v LIKE 'ABC %'")[0].toLongLong();
    QCOMPARE(messages_.infos,
             QStringList({"The change run was stopped before it was complete.\n\nRows written: " +
                              GroupedCount(written) +
                              "\nThe other rows keep their old letter case; Undo Last Change Run "
                              "takes back what was written.",
                          "Left alone (not text): data (jsonb)"}));
    QVERIFY2(statusLine().startsWith("Change run stopped after ") &&
                 statusLine().contains(written > 0
                                           ? ": " + GroupedCount(written) +
                                                 " rows of ui_main.stopped written;"
                                           : QString(": nothing was written to ui_main.stopped.")),
             qPrintable(statusLine()));
}

// While a run goes on, the line says how far it is, in percent and in rows of a whole that the
// blocks done so far estimate; the percentages and rows never go back.
void TestMainWindow::statusLineFollowsTheRun()
{
    exec({"CREATE TABLE ui_main.followed AS SELECT n, 'some text ' || n AS v "
          "FROM generate_series(1, 300000) n"});
    main()->load();
    clickTable("ui_main.followed");
    clickField("v");
    QSignalSpy ended(main(), &MainWindow::changeRunEnded);
    QStringList lines;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (lines.isEmpty() || lines.last() != statusLine())
            lines << statusLine();
    });
    watch.start(5);
    main()->findChild<QPushButton *>("PushButton1")->click();
    QVERIFY(ended.wait(120000));
    watch.stop();
    static const QRegularExpression progress(
        "^Changing ui_main.followed \\(v\\) to UPPER CASE: (\\d+)% · ([\\d,]+) of about "
        "([\\d,]+) rows( · about .* left)?$");
    int percent = -1, withRows = 0;
    qint64 rows = -1;
    for (const QString &line : std::as_const(lines)) {
        const QRegularExpressionMatch match = progress.match(line);
        if (!match.hasMatch())
            continue;
        ++withRows;
        QVERIFY2(match.captured(1).toInt() >= percent, qPrintable(lines.join(u'\n')));
        const qint64 done = match.captured(2).remove(u',').toLongLong();
        const qint64 total = match.captured(3).remove(u',').toLongLong();
        QVERIFY2(done >= rows && done <= total, qPrintable(line));
        // The estimate of a table of rows of one size is close to its count.
        QVERIFY2(qAbs(total - 300000) < 30000, qPrintable(line));
        percent = match.captured(1).toInt();
        rows = done;
    }
    QVERIFY2(withRows >= 2, qPrintable(lines.join(u'\n')));
    QVERIFY2(statusLine().startsWith("Changed 300,000 rows"), qPrintable(statusLine()));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
