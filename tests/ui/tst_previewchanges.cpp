// "Preview Changes…": the dialog on a preview made up here, and the command in the main window
// against the test server: its messages, a preview followed by the run it starts, Stop, and a
// failure.
#include "lockholder.h"
#include "messagerecorder.h"
#include "sqlfixture.h"
#include "testdatabase.h"

#include "app/windowflow.h"
#include "settings/settingsstore.h"
#include "ui/mainwindow.h"
#include "ui/previewchangesdialog.h"
#include "ui/previewcommand.h"
#include "ui/rowconditiondialog.h"
#include "ui/statusline.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>

namespace {

QStringList row(const QTreeWidget *table, int index)
{
    QStringList texts;
    const QTreeWidgetItem *item = table->topLevelItem(index);
    for (int column = 0; item && column < table->columnCount(); ++column)
        texts << item->text(column);
    return texts;
}

} // namespace

class TestPreviewChanges : public QObject, protected SqlFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void dialogShowsAPreview();
    void noFieldAndNoMode();
    void previewThenStartChanging();
    void rowConditionPicksTheRows();
    void stopFromTheMenu();
    void failureIsReported();

private:
    MainWindow *main() { return flow_->mainWindow(); }
    QTreeWidget *list(const char *name) { return main()->findChild<QTreeWidget *>(name); }
    void selectOnly(const QString &table, const QStringList &fields);

    QTemporaryDir config_;
    MessageRecorder messages_;
    std::unique_ptr<WindowFlow> flow_;
    PreviewCommand *command_ = nullptr;
};

void TestPreviewChanges::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", config_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", config_.filePath("data").toUtf8());
}

void TestPreviewChanges::init()
{
    if (QByteArray(QTest::currentTestFunction()) == "dialogShowsAPreview")
        return;
    REQUIRE_TEST_DATABASE();
    exec({"DROP SCHEMA IF EXISTS ui_preview CASCADE", "CREATE SCHEMA ui_preview",
          "CREATE TABLE ui_preview.people (id int, name text, city text, data jsonb)",
          "INSERT INTO ui_preview.people VALUES (1, 'jOHN o''neil', 'paris', '{}'),"
          " (2, 'MARY smith', 'paris', NULL), (3, NULL, 'LONDON', NULL),"
          " (4, 'mary smith', 'Rome', NULL)",
          "CREATE TABLE ui_preview.places (name text)"});
    TestDatabase::store();
    messages_.clear();
    flow_ = std::make_unique<WindowFlow>(messages_, config_.path());
    connect(flow_.get(), &WindowFlow::mainWindowMade, this, [this](MainWindow &window) {
        command_ = new PreviewCommand(window, messages_, &window);
    });
    flow_->start();
    QVERIFY(main());
    QVERIFY(command_);
    QVERIFY(QTest::qWaitForWindowExposed(main()));
}

void TestPreviewChanges::cleanup()
{
    flow_.reset();
    command_ = nullptr;
    SettingsStore::SaveNameRules(false);
}

void TestPreviewChanges::selectOnly(const QString &table, const QStringList &fields)
{
    const QList<QTreeWidgetItem *> tables = list("ListView1")->findItems(table, Qt::MatchExactly);
    QCOMPARE(tables.size(), 1);
    list("ListView1")->setCurrentItem(tables[0]);
    main()->listFields();
    for (int i = 0; i < list("ListView2")->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = list("ListView2")->topLevelItem(i);
        item->setSelected(fields.contains(item->text(0)));
    }
}

void TestPreviewChanges::dialogShowsAPreview()
{
    PreviewResult result;
    result.table = {"public", "customers"};
    result.fields = {"name", "data", "city", "mood"};
    result.mode = CaseMode::Upper;
    result.counted = {{"name", 1200, 1000, 3}, {"city", 1200, 5, 2}};
    FieldKind data, mood;
    data.name = "data";
    data.type = "jsonb";
    mood.name = "mood";
    mood.type = "mood";
    result.leftAlone = {data, mood};
    const QString longValue = QString(1500, u'a');
    result.changes = {{"name", longValue, longValue.toUpper(), 997},
                      {"city", "paris", "PARIS", 4},
                      {"name", QStringLiteral("é"), QStringLiteral("É"), 2}};

    PreviewChangesDialog dialog(result);
    QSignalSpy start(&dialog, &PreviewChangesDialog::startChangingRequested);
    dialog.open();
    QVERIFY(dialog.isVisible());
    auto *fields = dialog.findChild<QTreeWidget *>("PreviewFields");
    QCOMPARE(fields->topLevelItemCount(), 2);
    QCOMPARE(row(fields, 0), (QStringList{"name", "1,200", "1,000", "3", "0"}));
    QCOMPARE(dialog.findChild<QLabel *>("LeftAlone")->text(),
             "Left alone (not text): data (jsonb), mood (mood)");
    QVERIFY(dialog.findChild<QLabel *>("ChangesCaption")
                ->text()
                .startsWith("The 3 most frequent of 5 changes:"));
    auto *changes = dialog.findChild<QTreeWidget *>("PreviewChanges");
    QCOMPARE(changes->topLevelItemCount(), 3);
    // Every row is as tall as the tallest letters with their marks, in both lists.
    for (QTreeWidget *list : {fields, changes}) {
        const QRect ink =
            QFontMetrics(list->font()).boundingRect(PreviewChangesDialog::TallestLetters);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            QVERIFY2(list->visualItemRect(list->topLevelItem(i)).height() >= ink.height() + 2,
                     qPrintable(QStringLiteral("%1 < %2")
                                    .arg(list->visualItemRect(list->topLevelItem(i)).height())
                                    .arg(ink.height())));
    }
    QCOMPARE(row(changes, 0)[1], QString(1000, u'a') + QChar(0x2026));
    QCOMPARE(row(changes, 0)[3], "997");
    QCOMPARE(row(changes, 1), (QStringList{"city", "paris", "PARIS", "4"}));

    // Return closes without starting anything; "Start Changing" asks for the run and closes.
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(start.size(), 0);
    dialog.open();
    dialog.findChild<QPushButton *>("StartChanging")->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(start.size(), 1);
    QVERIFY(dialog.untickedValues().isEmpty());
    // A change unticked leaves its value; one longer than the list shows cannot be unticked,
    // since the list does not hold it whole.
    QVERIFY(!(changes->topLevelItem(0)->flags() & Qt::ItemIsUserCheckable));
    changes->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    QCOMPARE(dialog.untickedValues(), QStringList{"paris"});

    // Sorted by a column, filtered by old or new value: the ticks stay with their values, and
    // Untick All Shown and Tick All Shown act on what the filter shows.
    changes->sortByColumn(3, Qt::AscendingOrder);
    QCOMPARE(row(changes, 0)[1], QStringLiteral("é"));
    QCOMPARE(row(changes, 2)[3], "997");
    QCOMPARE(dialog.untickedValues(), QStringList{"paris"});
    dialog.filter("É");
    QCOMPARE(changes->topLevelItem(0)->isHidden(), false);
    QCOMPARE(changes->topLevelItem(1)->isHidden(), true);
    dialog.tickShown(false);
    QCOMPARE(dialog.untickedValues(), (QStringList{"é", "paris"}));
    // Return in the search box leaves the dialog open.
    dialog.open();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *search = dialog.findChild<QLineEdit *>("PreviewSearch");
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    dialog.close();
    dialog.filter(QString());
    dialog.tickShown(true);
    QVERIFY(dialog.untickedValues().isEmpty());
    // Ctrl+C copies the selected rows as tab-separated lines.
    changes->topLevelItem(0)->setSelected(true);
    changes->topLevelItem(1)->setSelected(true);
    dialog.copySelected();
    QCOMPARE(QGuiApplication::clipboard()->text(), "name\té\tÉ\t2\ncity\tparis\tPARIS\t4\n");
}

void TestPreviewChanges::noFieldAndNoMode()
{
    QAction *action = command_->action();
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    const QList<QAction *> menu = main()->changeMenu()->actions();
    QCOMPARE(menu.indexOf(action) + 1, menu.indexOf(main()->stopAction()));

    selectOnly("ui_preview.people", {});
    action->trigger();
    QCOMPARE(messages_.infos, QStringList{"Please select a field."});

    messages_.clear();
    selectOnly("ui_preview.people", {"name"});
    auto *combo = main()->findChild<QComboBox *>("Combo1");
    combo->addItem("Title Case");
    combo->setCurrentText("Title Case");
    command_->previewChanges();
    QCOMPARE(messages_.infos, QStringList{"mess up"});
    QVERIFY(messages_.reports.isEmpty());
    QVERIFY(!command_->isWorking());
    QVERIFY(!main()->isBusy());
    QVERIFY(!command_->dialog());
}

void TestPreviewChanges::previewThenStartChanging()
{
    // With the name rules on, as stored: the preview says so, and its run takes them too.
    QVERIFY(SettingsStore::SaveNameRules(true));
    selectOnly("ui_preview.people", {"name", "data", "city"});
    main()->findChild<QComboBox *>("Combo1")->setCurrentText("Proper Case");
    QSignalSpy ended(command_, &PreviewCommand::previewEnded);
    command_->previewChanges();
    QVERIFY(command_->isWorking());
    QVERIFY(main()->isBusy());
    QVERIFY(main()->stopAction()->isEnabled());
    QVERIFY(ended.wait(60000));
    QVERIFY(!main()->isBusy());
    QVERIFY(messages_.reports.isEmpty());

    PreviewChangesDialog *dialog = command_->dialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    auto *fields = dialog->findChild<QTreeWidget *>("PreviewFields");
    QCOMPARE(row(fields, 0), (QStringList{"name", "4", "3", "3", "0"}));
    QCOMPARE(row(fields, 1), (QStringList{"city", "4", "3", "2", "0"}));
    QCOMPARE(dialog->findChild<QLabel *>("PreviewCaption")->text(),
             "Changing ui_preview.people to Proper Case with name rules would change:");
    QCOMPARE(dialog->findChild<QLabel *>("LeftAlone")->text(),
             "Left alone (not text): data (jsonb)");
    QVERIFY2(main()->statusLine().line().startsWith(
                 "Preview Changes: 6 rows in 2 fields of ui_preview.people would change to "
                 "Proper Case with name rules ("),
             qPrintable(main()->statusLine().line()));
    // Nothing was written by the preview.
    QCOMPARE(column("SELECT name FROM ui_preview.people ORDER BY id"),
             (QStringList{"jOHN o'neil", "MARY smith", "<null>", "mary smith"}));

    // Export writes every change of the preview's fields and rule, on the window's job, with its
    // Stop; the dialog stays.
    QTemporaryDir folder;
    dialog->chooseExportFile = [&] { return folder.filePath("preview.csv"); };
    dialog->findChild<QPushButton *>("ExportPreview")->click();
    QVERIFY(main()->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!main()->isBusy(), 60000);
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(messages_.infos.size(), 1);
    QVERIFY2(messages_.infos[0].startsWith("5 changes were written to "),
             qPrintable(messages_.infos[0]));
    messages_.clear();
    QVERIFY(QFile::exists(folder.filePath("preview.csv")));
    QVERIFY(dialog->isVisible());

    // A change unticked is left as written in every row that holds it.
    const QList<QTreeWidgetItem *> unticked = dialog->findChild<QTreeWidget *>("PreviewChanges")
                                                  ->findItems("MARY smith", Qt::MatchExactly, 1);
    QCOMPARE(unticked.size(), 1);
    unticked[0]->setCheckState(0, Qt::Unchecked);
    QSignalSpy runEnded(main(), &MainWindow::changeRunEnded);
    dialog->findChild<QPushButton *>("StartChanging")->click();
    QVERIFY(main()->isChanging());
    QVERIFY(runEnded.wait(60000));
    QCOMPARE(
        column("SELECT name || ' / ' || city FROM ui_preview.people ORDER BY id"),
        (QStringList{"John O'Neil / Paris", "MARY smith / Paris", "<null>", "Mary Smith / Rome"}));
    QVERIFY2(main()->statusLine().line().contains("1 value left as written at your choice"),
             qPrintable(main()->statusLine().line()));
    // The run names the field it left alone, as the preview did.
    QCOMPARE(messages_.infos, QStringList{"Left alone (not text): data (jsonb)"});
    QVERIFY(messages_.reports.isEmpty());
    QVERIFY2(main()->statusLine().line().startsWith(
                 "Changed 4 rows in 2 fields of ui_preview.people to Proper Case with name rules "
                 "in "),
             qPrintable(main()->statusLine().line()));
}

void TestPreviewChanges::rowConditionPicksTheRows()
{
    selectOnly("ui_preview.people", {"name"});
    RowConditionDialog dialog("ui_preview.people", QString(), [this](const QString &condition) {
        main()->setRowCondition(condition);
    });
    dialog.show();
    // Refused by the server: the dialog stays, with the server's reason, and nothing changes.
    auto *line = dialog.findChild<QLineEdit *>("ConditionEdit");
    line->setText("citi = 'paris'");
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QVERIFY2(dialog.refusal().contains("citi"), qPrintable(dialog.refusal()));
    QVERIFY(main()->rowCondition().isEmpty());
    QCOMPARE(list("ListView3")->topLevelItemCount(), 4);

    line->setText("city = 'paris'");
    dialog.accept();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(main()->rowCondition(), "city = 'paris'");
    QCOMPARE(list("ListView3")->topLevelItemCount(), 2);
    QVERIFY(main()->statusLine().line().startsWith("Only rows where city = 'paris'"));

    main()->findChild<QComboBox *>("Combo1")->setCurrentText("UPPER CASE");
    QSignalSpy ended(command_, &PreviewCommand::previewEnded);
    command_->previewChanges();
    QVERIFY(ended.wait(60000));
    PreviewChangesDialog *preview = command_->dialog();
    QVERIFY(preview);
    QCOMPARE(row(preview->findChild<QTreeWidget *>("PreviewFields"), 0),
             (QStringList{"name", "2", "2", "2", "0"}));
    QSignalSpy runEnded(main(), &MainWindow::changeRunEnded);
    preview->findChild<QPushButton *>("StartChanging")->click();
    QVERIFY(runEnded.wait(60000));
    QCOMPARE(column("SELECT name FROM ui_preview.people ORDER BY id"),
             (QStringList{"JOHN O'NEIL", "MARY SMITH", "<null>", "mary smith"}));
    QVERIFY2(main()->statusLine().line().contains("Changed 2 rows"),
             qPrintable(main()->statusLine().line()));

    // Another table's rows are all taken again; "Clear" does the same.
    selectOnly("ui_preview.places", {});
    QVERIFY(main()->rowCondition().isEmpty());
    QVERIFY(!main()->statusLine().line().startsWith("Only rows"));
    selectOnly("ui_preview.people", {"name"});
    main()->setRowCondition("id > 3");
    QCOMPARE(list("ListView3")->topLevelItemCount(), 1);
    RowConditionDialog clearing(
        "ui_preview.people", main()->rowCondition(),
        [this](const QString &condition) { main()->setRowCondition(condition); });
    clearing.clear();
    QVERIFY(main()->rowCondition().isEmpty());
    QCOMPARE(list("ListView3")->topLevelItemCount(), 4);
}

void TestPreviewChanges::stopFromTheMenu()
{
    selectOnly("ui_preview.people", {"name"});
    // Another client holds the table: the preview waits, and the status line says whose lock
    // it waits for, until "Stop" cancels its read.
    LockHolder locker("table locker", {"LOCK TABLE ui_preview.people IN ACCESS EXCLUSIVE MODE"});
    QVERIFY2(locker.error().isEmpty(), qPrintable(locker.error()));
    QSignalSpy ended(command_, &PreviewCommand::previewEnded);
    command_->previewChanges();
    const QString waiting = LockHolder::WaitForLine(*main());
    main()->stopAction()->trigger();
    const bool stopped = ended.wait(60000);
    locker.release();
    QVERIFY2(waiting.contains(locker.heldText("ui_preview.people")), qPrintable(waiting));
    QVERIFY(stopped);
    QVERIFY2(main()->statusLine().line().startsWith("Preview Changes was stopped after "),
             qPrintable(main()->statusLine().line()));
    QVERIFY(!main()->isBusy());
    QVERIFY(!command_->dialog());
    QVERIFY(messages_.infos.isEmpty());
    QVERIFY(messages_.reports.isEmpty());
}

void TestPreviewChanges::failureIsReported()
{
    selectOnly("ui_preview.people", {"name"});
    exec({"DROP TABLE ui_preview.people"});
    QSignalSpy ended(command_, &PreviewCommand::previewEnded);
    command_->previewChanges();
    QVERIFY(ended.wait(60000));
    QCOMPARE(messages_.reports.size(), 1);
    QCOMPARE(messages_.reports[0].handler, "Preview_Click");
    QCOMPARE(messages_.reports[0].line, 108);
    QCOMPARE(messages_.reports[0].failure, "The table \"ui_preview\".\"people\" does not exist.");
    QVERIFY(!command_->dialog());
    QVERIFY(!main()->isBusy());
}

QTEST_MAIN(TestPreviewChanges)
#include "tst_previewchanges.moc"
