// "Undo Last Change Run…" in the main window against the test server: its place in the Change
// menu, nothing to undo, the question, its buttons and its answers, an undo while the window is
// busy, an undo that goes on after one that was stopped, and a journal of the first layout.
#include "journalledrun.h"
#include "lockholder.h"
#include "messagerecorder.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include "app/windowflow.h"
#include "journal/runlock.h"
#include "journal/runtexts.h"
#include "settings/settingsstore.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowmenus.h"
#include "ui/messageboxes.h"
#include "ui/runhistorydialog.h"
#include "ui/statusline.h"
#include "ui/undocommand.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

class TestUndoCommand : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void commandStandsBeforeStop();
    void noRunIsUndone_data();
    void noRunIsUndone();
    void questionShowsTheRunAndCancelKeepsIt();
    void undoWhileTheWindowIsBusy();
    void questionBoxAnswersUndoWithReturnAndCancelWithEsc();
    void resumedUndoSaysWhatTheStoppedOneRestored();
    void journalOfTheFirstLayoutIsUndoneAndSaysSo();
    void undoBehindARowLock();
    void historyUndoesTheRunChosen();

private:
    MainWindow *main() { return flow_->mainWindow(); }
    QAction *undoAction() { return main()->findChild<QAction *>("UndoAction"); }
    // Triggers the command and waits for the undo's end; false when it did not end.
    bool undoAndWait();

    QTemporaryDir config_;
    QTemporaryDir data_;
    MessageRecorder messages_;
    std::unique_ptr<WindowFlow> flow_;
};

void TestUndoCommand::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    qputenv("XDG_CONFIG_HOME", config_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    exec({"DROP SCHEMA IF EXISTS ui_undo CASCADE", "CREATE SCHEMA ui_undo"});
}

void TestUndoCommand::init()
{
    exec({"DROP TABLE IF EXISTS ui_undo.people",
          "CREATE TABLE ui_undo.people (id int PRIMARY KEY, name text)",
          "INSERT INTO ui_undo.people VALUES (1, 'jOHN o''neil'), (2, 'MARY smith'), (3, NULL)"});
    QDir(ChangeJournal::Folder()).removeRecursively();
    TestDatabase::store();
    messages_.clear();
    messages_.confirmAnswer = true;
    flow_ = std::make_unique<WindowFlow>(messages_, config_.path());
    connect(flow_.get(), &WindowFlow::mainWindowMade, this,
            [this](MainWindow &window) { new MainWindowMenus(window, messages_); });
    flow_->start();
    QVERIFY(main());
    QVERIFY(undoAction());
}

void TestUndoCommand::cleanup()
{
    flow_.reset();
}

bool TestUndoCommand::undoAndWait()
{
    QSignalSpy ended(main()->findChild<UndoCommand *>(), &UndoCommand::undoEnded);
    undoAction()->trigger();
    return ended.wait(60000);
}

void TestUndoCommand::commandStandsBeforeStop()
{
    const QList<QAction *> actions = main()->changeMenu()->actions();
    QVERIFY(actions.indexOf(undoAction()) >= 0);
    QVERIFY(actions.indexOf(undoAction()) < actions.indexOf(main()->stopAction()));
    QCOMPARE(undoAction()->text(), "&Undo Last Change Run…");
    QCOMPARE(undoAction()->shortcut(), QKeySequence("Ctrl+Z"));
}

void TestUndoCommand::noRunIsUndone_data()
{
    QTest::addColumn<QString>("journal"); // what becomes of the journal of a run of the table
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing to undo")
        << QString() << "There is no change run of this database to undo.";
    QTest::newRow("the run goes on") << "goes on"
                                     << "is still going on (process ";
    QTest::newRow("another undo goes on") << "undoing"
                                          << "is being undone (process ";
    QTest::newRow("newest journal cannot be read") << "scrambled"
                                                   << "cannot be read, so which run was the last";
}

// No question is asked and nothing is written: the box says why.
void TestUndoCommand::noRunIsUndone()
{
    QFETCH(QString, journal);
    QFETCH(QString, message);
    std::optional<RunLock> lock;
    if (!journal.isEmpty()) {
        const JournalRun run = JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "people"},
                                                   {"name"}, CaseMode::Upper);
        if (journal == "scrambled") {
            QFile file(run.file);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray(8192, 'x'));
        } else {
            lock = RunLock::Take(run.file,
                                 journal == "goes on" ? RunLock::Work::Run : RunLock::Work::Undo);
            QVERIFY(lock);
        }
    }
    const QStringList before = column("SELECT name FROM ui_undo.people ORDER BY id");
    undoAction()->trigger();
    QCOMPARE(messages_.infos.size(), 1);
    QVERIFY2(messages_.infos[0].contains(message), qPrintable(messages_.infos[0]));
    QVERIFY(messages_.confirms.isEmpty());
    QVERIFY(!main()->isBusy());
    QCOMPARE(column("SELECT name FROM ui_undo.people ORDER BY id"), before);
}

void TestUndoCommand::questionShowsTheRunAndCancelKeepsIt()
{
    JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "people"}, {"name"},
                        CaseMode::Proper);
    messages_.confirmAnswer = false;
    undoAction()->trigger();
    QCOMPARE(messages_.confirms.size(), 1);
    QCOMPARE(messages_.confirmAccepts, QStringList{"Undo"});
    const QString question = messages_.confirms[0];
    for (const char *part : {"Undo the last change run of this database?", "Table: ui_undo.people",
                             "Field(s): name", "Mode: Proper Case", "Rows written: 2"})
        QVERIFY2(question.contains(part), qPrintable(question));
    QVERIFY(!main()->isBusy());
    QVERIFY(messages_.infos.isEmpty());
    QCOMPARE(column("SELECT name FROM ui_undo.people ORDER BY id"),
             (QStringList{"John O'neil", "Mary Smith", "<null>"}));
    QVERIFY(ChangeJournal::Last(TestDatabase::settings()));
}

void TestUndoCommand::undoWhileTheWindowIsBusy()
{
    JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "people"}, {"name"}, CaseMode::Upper);
    exec({"UPDATE ui_undo.people SET name = 'Changed Since' WHERE id = 2"});
    auto *command = main()->findChild<UndoCommand *>();
    QSignalSpy ended(command, &UndoCommand::undoEnded);
    undoAction()->trigger();
    QCOMPARE(messages_.confirms.size(), 1);
    QVERIFY(main()->isBusy());
    QVERIFY(main()->stopAction()->isEnabled());
    QVERIFY(!main()->findChild<QWidget *>("PushButton1")->isEnabled());
    undoAction()->trigger(); // a second undo is not started meanwhile
    QVERIFY(ended.wait(60000));
    QCOMPARE(ended.size(), 1);
    QVERIFY(!main()->isBusy());
    QVERIFY(!main()->stopAction()->isEnabled());
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(messages_.infos,
             QStringList{"The change run was undone.\n\nRows restored: 1\nRows left alone because "
                         "they changed since the run or could not be found: 1"});
    QCOMPARE(column("SELECT name FROM ui_undo.people ORDER BY id"),
             (QStringList{"jOHN o'neil", "Changed Since", "<null>"}));
    QCOMPARE(messages_.confirms.size(), 1);
    QVERIFY2(main()->statusLine().line().startsWith("Undid the change run of ui_undo.people in ") &&
                 main()->statusLine().line().endsWith(": 1 row restored, 1 row left alone."),
             qPrintable(main()->statusLine().line()));

    messages_.clear();
    undoAction()->trigger();
    QCOMPARE(messages_.infos, QStringList{"There is no change run of this database to undo."});
}

void TestUndoCommand::questionBoxAnswersUndoWithReturnAndCancelWithEsc()
{
    MessageBoxes boxes;
    for (const auto &[key, answer] : {std::pair{Qt::Key_Return, true}, {Qt::Key_Escape, false}}) {
        QStringList buttons;
        QTimer press;
        connect(&press, &QTimer::timeout, this, [&, key = key] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            press.stop();
            for (const QAbstractButton *button : box->buttons())
                buttons << button->text().remove(u'&');
            QTest::keyClick(box, key);
        });
        press.start(20);
        QCOMPARE(boxes.confirm("Undo the last change run of this database?", "Undo"), answer);
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"Cancel", "Undo"}));
    }
}

void TestUndoCommand::resumedUndoSaysWhatTheStoppedOneRestored()
{
    exec(
        {"CREATE TABLE ui_undo.many (n int, v text)",
         "INSERT INTO ui_undo.many SELECT i, 'some text ' || i FROM generate_series(1, 200000) i"});
    const JournalRun run =
        JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "many"}, {"v"}, CaseMode::Upper);
    UndoSummary stopped;
    {
        UndoRun undo(TestDatabase::settings(), run);
        connect(&undo, &UndoRun::progress, this, [&] { undo.requestStop(); });
        connect(&undo, &UndoRun::finished, this, [&](const UndoSummary &s) { stopped = s; });
        undo.run();
    }
    QVERIFY(stopped.endedEarly);
    QVERIFY(stopped.rowsRestored >= 1000);
    const QString restored = QLocale(QLocale::English).toString(stopped.rowsRestored);
    QVERIFY(restored.contains(u','));

    QVERIFY(undoAndWait());
    exec({"DROP TABLE ui_undo.many"});
    QCOMPARE(messages_.confirms.size(), 1);
    QVERIFY2(messages_.confirms[0].contains("Rows written: 200,000"),
             qPrintable(messages_.confirms[0]));
    QVERIFY2(messages_.confirms[0].contains("after it had restored " + restored + " rows"),
             qPrintable(messages_.confirms[0]));
    QCOMPARE(messages_.infos.size(), 1);
    QVERIFY2(
        messages_.infos[0].contains("Rows restored by an earlier undo of this run: " + restored),
        qPrintable(messages_.infos[0]));
}

void TestUndoCommand::journalOfTheFirstLayoutIsUndoneAndSaysSo()
{
    const JournalRun run = JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "people"},
                                               {"name"}, CaseMode::Upper);
    const QString failure = JournalledRun::MakeFirstLayout(run.file);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(undoAndWait());
    QCOMPARE(messages_.confirms.size(), 1);
    QVERIFY2(messages_.confirms[0].contains("identity was not recorded"),
             qPrintable(messages_.confirms[0]));
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(column("SELECT name FROM ui_undo.people ORDER BY id"),
             (QStringList{"jOHN o'neil", "MARY smith", "<null>"}));
}

void TestUndoCommand::undoBehindARowLock()
{
    // Another client holds a row the undo writes: the status line says whose lock the undo
    // waits for, until Stop.
    JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "people"}, {"name"}, CaseMode::Upper);
    LockHolder holder("row holder", {"SELECT * FROM ui_undo.people WHERE id = 1 FOR UPDATE"});
    QVERIFY2(holder.error().isEmpty(), qPrintable(holder.error()));
    auto *command = main()->findChild<UndoCommand *>();
    QSignalSpy ended(command, &UndoCommand::undoEnded);
    undoAction()->trigger();
    const QString waiting = LockHolder::WaitForLine(*main());
    // The window shows the wait whole or in its few words, beside the Stop button, never cut;
    // the tool tip holds the whole line.
    const QString shown = main()->statusLine().text();
    QVERIFY2(!shown.endsWith(u'…') && shown.startsWith("Waiting "), qPrintable(shown));
    QVERIFY(shown == waiting || !main()->statusLine().toolTip().isEmpty());
    main()->stopAction()->trigger();
    const bool stopped = ended.wait(15000);
    holder.release();
    QVERIFY2(waiting.contains(holder.heldText("ui_undo.people")), qPrintable(waiting));
    QVERIFY(stopped);
    QVERIFY2(main()->statusLine().line().startsWith("Undo of ui_undo.people stopped after "),
             qPrintable(main()->statusLine().line()));
}

// Run History lists every run with its state; its Undo takes back an older run of the database,
// not the last one, after the same question, and its Export writes what a run wrote.
void TestUndoCommand::historyUndoesTheRunChosen()
{
    exec({"DROP TABLE IF EXISTS ui_undo.places", "CREATE TABLE ui_undo.places (id int, city text)",
          "INSERT INTO ui_undo.places VALUES (1, 'oslo'), (2, 'Bergen, \"Vestland\"')"});
    const JournalRun people = JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "people"},
                                                  {"name"}, CaseMode::Upper);
    const JournalRun places = JournalledRun::Make(TestDatabase::settings(), {"ui_undo", "places"},
                                                  {"city"}, CaseMode::Upper);
    // A newer file that cannot be read stands in the list, and blocks nothing.
    const QString scrambled =
        QString(places.file).replace(QString::number(places.id), "9999999999999");
    QVERIFY(QFile::copy(places.file, scrambled));
    {
        QFile file(scrambled);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(8192, 'x'));
    }

    QStringList states, exportStates;
    bool unreadableLocked = false, selected = false;
    QString exported = data_.filePath("places.csv");
    QTimer drive;
    connect(&drive, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<RunHistoryDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        drive.stop();
        auto *list = dialog->findChild<QTreeWidget *>("RunHistoryList");
        auto *undo = dialog->findChild<QAbstractButton *>("UndoRunButton");
        auto *exportButton = dialog->findChild<QAbstractButton *>("ExportChangesButton");
        int state = 0;
        while (state < list->columnCount() && list->headerItem()->text(state) != "State")
            ++state;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            states << list->topLevelItem(i)->text(state);
        selected = dialog->select(9999999999999);
        unreadableLocked = !undo->isEnabled() && !exportButton->isEnabled();
        selected = selected && dialog->select(places.id);
        dialog->chooseExportFile = [&](const JournalRun &) { return exported; };
        exportButton->click();
        selected = selected && dialog->select(people.id);
        if (selected)
            undo->click();
        else
            dialog->reject();
    });
    drive.start(20);
    QSignalSpy ended(main()->findChild<UndoCommand *>(), &UndoCommand::undoEnded);
    main()->findChild<QAction *>("RunHistoryAction")->trigger();
    QVERIFY(selected);
    QVERIFY(ended.wait(60000));

    QCOMPARE(states.size(), 3);
    QVERIFY2(states[0].startsWith("journal unreadable: "), qPrintable(states[0]));
    QCOMPARE(states.mid(1), (QStringList{"done", "done"}));
    QVERIFY(unreadableLocked);
    QCOMPARE(messages_.confirms.size(), 1);
    for (const char *part : {"Undo this change run of the database?", "Table: ui_undo.people"})
        QVERIFY2(messages_.confirms[0].contains(part), qPrintable(messages_.confirms[0]));
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(messages_.infos.size(), 2);
    QVERIFY2(messages_.infos[0].startsWith("2 values of the run were written to "),
             qPrintable(messages_.infos[0]));
    QCOMPARE(column("SELECT name FROM ui_undo.people ORDER BY id"),
             (QStringList{"jOHN o'neil", "MARY smith", "<null>"}));
    QCOMPARE(column("SELECT city FROM ui_undo.places ORDER BY id"),
             (QStringList{"OSLO", "BERGEN, \"VESTLAND\""}));
    QFile csv(exported);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(csv.readAll());
    QVERIFY2(text.contains("\"Bergen, \"\"Vestland\"\"\",\"BERGEN, \"\"VESTLAND\"\"\""),
             qPrintable(text));

    // The history says what became of each run; the last run of the database is the one Undo
    // Last Change Run still offers.
    QList<JournalEntry> entries = ChangeJournal::Entries();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(RunStateText(*entries[1].run), "done");
    QCOMPARE(RunStateText(*entries[2].run), "undone");
    QFile::remove(scrambled);
    QCOMPARE(ChangeJournal::Last(TestDatabase::settings())->id, places.id);
}

QTEST_MAIN(TestUndoCommand)
#include "tst_undocommand.moc"
