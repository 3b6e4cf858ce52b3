// The word exceptions dialog without its modal loop: the list as edited, OK and Cancel, import
// and export, and the command in the main window's Change menu.
#include "messagerecorder.h"

#include "settings/settingsstore.h"
#include "ui/connectionwindow.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowmenus.h"
#include "ui/wordexceptionsdialog.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

class TestWordExceptionsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void editedList_data();
    void editedList();
    void okStoresAndCancelDoesNot();
    void okKeepsAListThatCannotBeStored();
    void exportAndImportRoundTrip_data();
    void exportAndImportRoundTrip();
    void importAddsToTheList();
    void importRefusesWhatIsNoWordList();
    void exportReportsAFileThatCannotBeWritten();
    void commandInTheChangeMenu();

private:
    QString file(const QString &name) const { return dir_->filePath(name); }
    static QByteArray contents(const QString &path);

    std::unique_ptr<QTemporaryDir> dir_;
    MessageRecorder messages_;
};

void TestWordExceptionsDialog::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    qputenv("XDG_CONFIG_HOME", dir_->filePath(QStringLiteral("config")).toLocal8Bit());
    messages_.clear();
}

QByteArray TestWordExceptionsDialog::contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestWordExceptionsDialog::editedList_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("one per line") << "McDonald\nO'Neil\nUSA"
                                  << QStringList{"McDonald", "O'Neil", "USA"};
    QTest::newRow("blanks and empty lines") << "\n  McDonald \n\n\t\nUSA\t\n\n"
                                            << QStringList{"McDonald", "USA"};
    QTest::newRow("duplicates kept once, the first spelling")
        << "USA\nMcDonald\nUSA\nusa\nMCDONALD" << QStringList{"USA", "McDonald"};
    QTest::newRow("phrases keep their inner blanks")
        << "van der Berg\r\nRio  de Janeiro\r\n"
        << QStringList{"van der Berg", "Rio  de Janeiro"};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestWordExceptionsDialog::editedList()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, words);
    WordExceptionsDialog dialog(messages_);
    dialog.findChild<QPlainTextEdit *>("WordsEdit")->setPlainText(typed);
    QCOMPARE(dialog.words(), words);
}

void TestWordExceptionsDialog::okStoresAndCancelDoesNot()
{
    WordExceptionsDialog dialog(messages_);
    dialog.setWords({"McDonald", " USA ", "", "usa"});
    dialog.storeAndClose();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(SettingsStore::ExceptionWords(), QStringList({"McDonald", "USA"}));

    WordExceptionsDialog other(messages_);
    other.setWords({"iPhone"});
    other.reject();
    QCOMPARE(SettingsStore::ExceptionWords(), QStringList({"McDonald", "USA"}));
    QVERIFY(messages_.confirms.isEmpty()); // nothing was edited
    QVERIFY(messages_.reports.isEmpty());

    // Closing with edits not stored asks first: Cancel keeps the window, Discard closes it
    // without them, Save stores them and closes.
    const struct {
        Messages::Unsaved answer;
        bool closes;
        QStringList stored;
    } answers[] = {{Messages::Unsaved::Cancel, false, {"McDonald", "USA"}},
                   {Messages::Unsaved::Discard, true, {"McDonald", "USA"}},
                   {Messages::Unsaved::Save, true, {"McDonald", "USA", "eBay"}}};
    for (const auto &answer : answers) {
        WordExceptionsDialog edited(messages_);
        edited.setWords(SettingsStore::ExceptionWords());
        edited.show();
        edited.findChild<QPlainTextEdit *>()->appendPlainText("eBay");
        messages_.saveAnswer = answer.answer;
        messages_.confirms.clear();
        edited.reject();
        QCOMPARE(messages_.confirms.size(), 1);
        QCOMPARE(edited.isVisible(), !answer.closes);
        QCOMPARE(SettingsStore::ExceptionWords(), answer.stored);
    }
}

void TestWordExceptionsDialog::okKeepsAListThatCannotBeStored()
{
    // The configuration folder would have to be made inside a file.
    QFile blocker(file("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", file("blocker/config").toLocal8Bit());

    WordExceptionsDialog dialog(messages_);
    dialog.setWords({"McDonald"});
    dialog.storeAndClose();
    QCOMPARE(messages_.reports.size(), 1);
    QCOMPARE(messages_.reports[0].window, "WordExceptionsDialog");
    QCOMPARE(messages_.reports[0].handler, "OK_Click");
    QCOMPARE(messages_.reports[0].line, 102);
    QVERIFY(messages_.reports[0].failure.startsWith("The word exceptions could not be stored"));
    QCOMPARE(dialog.result(), int(QDialog::Rejected)); // not closed: the list is still there
    QCOMPARE(dialog.words(), QStringList{"McDonald"});
}

void TestWordExceptionsDialog::exportAndImportRoundTrip_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::newRow("names") << QStringList{"McDonald", "O'Neil", "USA", "iPhone", "AT&T"};
    QTest::newRow("non-ascii") << QStringList{QStringLiteral("Ångström"),
                                              QStringLiteral("Ærøskøbing"), QStringLiteral("東京"),
                                              QStringLiteral("😀Go"), QStringLiteral("e\u0301")};
    QTest::newRow("phrases and signs") << QStringList{"van der Berg", "a, b", "\"q\"", "#1", "@x"};
    QTest::newRow("empty") << QStringList{};
}

void TestWordExceptionsDialog::exportAndImportRoundTrip()
{
    QFETCH(QStringList, words);
    const QString path = file("words.txt");
    WordExceptionsDialog from(messages_);
    from.setWords(words);
    from.chooseExportFile = [&] { return path; };
    from.exportWords();
    // Export says where it wrote, and how many words.
    QCOMPARE(messages_.infos.size(), 1);
    QVERIFY2(messages_.infos[0].contains(path), qPrintable(messages_.infos[0]));
    messages_.infos.clear();
    QByteArray expected;
    for (const QString &word : words)
        expected += word.toUtf8() + '\n';
    QCOMPARE(contents(path), expected);

    WordExceptionsDialog to(messages_);
    to.chooseImportFile = [&] { return path; };
    to.importWords();
    QCOMPARE(to.words(), words);
    QVERIFY(messages_.reports.isEmpty());
}

void TestWordExceptionsDialog::importAddsToTheList()
{
    const QString path = file("team.txt");
    QFile team(path);
    QVERIFY(team.open(QIODevice::WriteOnly));
    team.write(
        "\xef\xbb\xbfMcDonald\r\n\r\n  O'Neil  \r\nusa\r\nMcDonald\r\n\xc3\x85ngstr\xc3\xb6m");
    team.close();
    WordExceptionsDialog dialog(messages_);
    dialog.setWords({"USA", "iPhone"});
    dialog.chooseImportFile = [&] { return path; };
    dialog.importWords();
    QCOMPARE(dialog.words(),
             QStringList({"USA", "iPhone", "McDonald", "O'Neil", QStringLiteral("Ångström")}));
    QVERIFY(messages_.reports.isEmpty());
    QVERIFY(SettingsStore::ExceptionWords().isEmpty()); // stored only by OK
}

void TestWordExceptionsDialog::importRefusesWhatIsNoWordList()
{
    const QString latin1 = file("latin1.txt");
    QFile text(latin1);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Caf\xe9\nUSA\n");
    text.close();

    // A named pipe would keep the window waiting for a writer; a folder is no list either.
    const QString pipe = file("pipe.txt");
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    WordExceptionsDialog dialog(messages_);
    dialog.setWords({"iPhone"});
    for (const QString &path : {latin1, file("missing.txt"), pipe, dir_->path(), QString()}) {
        dialog.chooseImportFile = [&] { return path; };
        dialog.importWords();
    }
    QCOMPARE(dialog.words(), QStringList{"iPhone"});
    // Said plainly, as what is wrong with the file; none when no file was chosen.
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(messages_.infos.size(), 4);
    QCOMPARE(messages_.infos[0], "The file " + latin1 + " is not UTF-8 text.");
    QVERIFY(
        messages_.infos[1].startsWith("The file " + file("missing.txt") + " could not be read: "));
    for (const QString &path : {pipe, dir_->path()})
        QVERIFY(messages_.infos.contains("The file " + path +
                                         " could not be read: it is not a regular file."));
}

void TestWordExceptionsDialog::exportReportsAFileThatCannotBeWritten()
{
    WordExceptionsDialog dialog(messages_);
    dialog.setWords({"USA"});
    dialog.chooseExportFile = [&] { return file("no/such/folder/words.txt"); };
    dialog.exportWords();
    QVERIFY(messages_.reports.isEmpty());
    QCOMPARE(messages_.infos.size(), 1);
    QVERIFY(messages_.infos[0].contains("could not be written"));
}

void TestWordExceptionsDialog::commandInTheChangeMenu()
{
    ConnectionWindow connection(messages_, dir_->path());
    MainWindow window(
        messages_, [&connection] { return connection.settings(); }, dir_->path());
    new MainWindowMenus(window, messages_);
    const QList<QAction *> actions = window.changeMenu()->actions();
    // Preview, Undo, Run History, Word Exceptions, Row Condition, the two options, Language,
    // then Stop after a separator.
    QCOMPARE(actions.size(), 10);
    QCOMPARE(actions[0]->objectName(), "PreviewAction");
    QCOMPARE(actions[1]->objectName(), "UndoAction");
    QCOMPARE(actions[2]->objectName(), "RunHistoryAction");
    QCOMPARE(actions[3]->objectName(), "WordExceptionsAction");
    QCOMPARE(actions[3]->text(), QStringLiteral("&Word Exceptions…"));
    QCOMPARE(actions[4]->objectName(), "RowConditionAction");
    QCOMPARE(actions[7]->objectName(), "LanguageMenu");
    QVERIFY(actions[8]->isSeparator());
    QCOMPARE(actions[9], window.stopAction());

    // Each option is off at first; each click stores it, and the menu shows it as stored.
    const struct {
        QAction *entry;
        QString handler;
        bool (*load)();
        bool (*save)(bool);
    } options[] = {
        {actions[5], "NameRules_Click", &SettingsStore::NameRules, &SettingsStore::SaveNameRules},
        {actions[6], "LeaveMixedCase_Click", &SettingsStore::LeaveMixedCase,
         &SettingsStore::SaveLeaveMixedCase}};
    for (const auto &option : options) {
        QAction *entry = option.entry;
        QVERIFY(entry->isCheckable());
        QVERIFY(!entry->isChecked());
        entry->trigger();
        QVERIFY(option.load());
        QVERIFY(option.save(false)); // as by another hand
        emit window.changeMenu()->aboutToShow();
        QVERIFY(!entry->isChecked());
        entry->trigger();
        QVERIFY(entry->isChecked());
        QVERIFY(option.load());
        // An option that cannot be stored is reported, and the entry shows what is stored.
        entry->trigger();
        QVERIFY(!option.load());
        QFile blocker(file("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_CONFIG_HOME", file("blocker/config").toLocal8Bit());
        entry->trigger();
        QVERIFY(!entry->isChecked());
        QCOMPARE(messages_.reports.size(), 1);
        QCOMPARE(messages_.reports[0].handler, option.handler);
        QVERIFY(messages_.reports[0].failure.contains("could not be stored"));
        messages_.reports.clear();
        qputenv("XDG_CONFIG_HOME", file("config").toLocal8Bit());
    }

    // The language: Any at first; a choice is stored by its code, and the menu shows what is
    // stored, also a language stored by another hand.
    const auto language = [&](const char *name) {
        return window.changeMenu()->findChild<QAction *>(name);
    };
    QVERIFY(language("Language_any")->isChecked());
    language("Language_de-eszett")->trigger();
    QCOMPARE(SettingsStore::LanguageCode(), "de-eszett");
    QVERIFY(SettingsStore::SaveLanguageCode("tr"));
    emit window.changeMenu()->aboutToShow();
    QVERIFY(language("Language_tr")->isChecked());
    QVERIFY(!language("Language_de-eszett")->isChecked());
    QVERIFY(SettingsStore::SaveLanguageCode("xx")); // unknown: Any Language
    emit window.changeMenu()->aboutToShow();
    QVERIFY(language("Language_any")->isChecked());

    // The command shows the stored list.
    QVERIFY(SettingsStore::SaveExceptionWords({"McDonald", "USA"}));
    QStringList shown;
    QTimer::singleShot(0, this, [&] {
        if (auto *dialog =
                qobject_cast<WordExceptionsDialog *>(QApplication::activeModalWidget())) {
            shown = dialog->words();
            dialog->reject();
        }
    });
    actions[3]->trigger();
    QCOMPARE(shown, QStringList({"McDonald", "USA"}));
    QVERIFY(messages_.reports.isEmpty());
}

QTEST_MAIN(TestWordExceptionsDialog)
#include "tst_wordexceptionsdialog.moc"
