#include "ui/mainwindowmenus.h"

#include "casing/caselanguage.h"
#include "journal/changejournal.h"
#include "settings/settingsstore.h"
#include "ui/guardedhandler.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/passwordkeeper.h"
#include "ui/previewcommand.h"
#include "ui/rowconditiondialog.h"
#include "ui/runhistorycommand.h"
#include "ui/undocommand.h"
#include "ui/wordexceptionsdialog.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QMenu>
#include <stdexcept>

MainWindowMenus::MainWindowMenus(MainWindow &window, Messages &messages)
    : QObject(&window), window_(window), messages_(messages)
{
    // The commands' entries go before Stop, in this order.
    auto *undo = new UndoCommand(window_, messages_, this);
    for (MenuCommand *command : std::initializer_list<MenuCommand *>{
             new PreviewCommand(window_, messages_, this), undo,
             new RunHistoryCommand(window_, messages_, *undo, this)})
        window_.changeMenu()->insertAction(window_.stopAction(), command->action());
    // "Word Exceptions…" goes before Stop, with one separator between the commands and Stop.
    QMenu *change = window_.changeMenu();
    const qsizetype stop = change->actions().indexOf(window_.stopAction());
    QAction *beforeStop = stop > 0 && change->actions()[stop - 1]->isSeparator()
                              ? change->actions()[stop - 1]
                              : change->insertSeparator(window_.stopAction());
    QAction *words = new QAction(QStringLiteral("&Word Exceptions…"), change);
    words->setObjectName(QStringLiteral("WordExceptionsAction"));
    change->insertAction(beforeStop, words);
    connect(words, &QAction::triggered, this,
            [this] { WordExceptionsDialog::Edit(messages_, &window_); });
    // "Row Condition…" follows, as the other choice of what a run changes.
    QAction *condition = new QAction(QStringLiteral("Row &Condition…"), change);
    condition->setObjectName(QStringLiteral("RowConditionAction"));
    change->insertAction(beforeStop, condition);
    connect(condition, &QAction::triggered, this, &MainWindowMenus::editRowCondition);
    // "Name Rules" follows it, as the other addition to Proper Case, then the option of what a
    // run leaves as written.
    const QList<QAction *> options{
        addOption(beforeStop, {QStringLiteral("&Name Rules"), QStringLiteral("NameRules"),
                               QStringLiteral("the name rules"), &SettingsStore::NameRules,
                               &SettingsStore::SaveNameRules}),
        addOption(beforeStop,
                  {QStringLiteral("&Leave Mixed-Case Values"), QStringLiteral("LeaveMixedCase"),
                   QStringLiteral("the option to leave mixed-case values"),
                   &SettingsStore::LeaveMixedCase, &SettingsStore::SaveLeaveMixedCase})};
    addLanguageMenu(beforeStop);
    // The checks show the stored options, also after the file was edited by hand.
    connect(change, &QMenu::aboutToShow, this, [this, options] {
        for (QAction *option : options)
            option->setChecked(options_.value(option).load());
        showStoredLanguage();
    });

    QAction *about = window_.helpMenu()->addAction(QStringLiteral("&About Recasor"));
    about->setObjectName(QStringLiteral("AboutAction"));
    connect(about, &QAction::triggered, this, &MainWindowMenus::showAbout);
}

void MainWindowMenus::editRowCondition()
{
    if (window_.isBusy())
        return; // a task has the window; a queued click opens nothing
    GuardedHandler h(messages_, QStringLiteral("Form2"), QStringLiteral("RowCondition_Click"));
    h.step(100, [&] {
        const std::optional<TableRef> table = window_.shownTable();
        if (!table) {
            messages_.info(QStringLiteral("Please select a table."));
            return;
        }
        auto *dialog = new RowConditionDialog(
            table->displayName(), window_.rowCondition(),
            [this](const QString &condition) { window_.setRowCondition(condition); }, &window_);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
}

void MainWindowMenus::addLanguageMenu(QAction *before)
{
    QMenu *change = window_.changeMenu();
    auto *menu = new QMenu(QStringLiteral("L&anguage"), change);
    menu->menuAction()->setObjectName(QStringLiteral("LanguageMenu"));
    change->insertMenu(before, menu);
    auto *group = new QActionGroup(menu);
    QMenu *german = nullptr;
    for (const CaseLanguageRow &row : CaseLanguages()) {
        QMenu *into = menu;
        QString text = row.text;
        if (row.language == CaseLanguage::German || row.language == CaseLanguage::GermanEszett) {
            if (!german) {
                german = menu->addMenu(QStringLiteral("German"));
                german->menuAction()->setObjectName(QStringLiteral("GermanMenu"));
            }
            into = german;
            text = row.language == CaseLanguage::German ? QStringLiteral("ß → SS")
                                                        : QStringLiteral("ß → ẞ");
        }
        QAction *entry = into->addAction(text);
        entry->setObjectName(QStringLiteral("Language_") +
                             (row.code.isEmpty() ? QStringLiteral("any") : row.code));
        entry->setCheckable(true);
        entry->setData(row.code);
        group->addAction(entry);
        languages_ << entry;
        connect(entry, &QAction::triggered, this, [this, code = row.code] { setLanguage(code); });
    }
    showStoredLanguage();
}

void MainWindowMenus::showStoredLanguage()
{
    const QString stored =
        CaseLanguageOf(
            CaseLanguageWithCode(SettingsStore::LanguageCode()).value_or(CaseLanguage::Any))
            .code;
    for (QAction *entry : std::as_const(languages_))
        entry->setChecked(entry->data().toString() == stored);
}

void MainWindowMenus::setLanguage(const QString &code)
{
    GuardedHandler h(messages_, QStringLiteral("Form2"), QStringLiteral("Language_Click"));
    const bool stored = h.step(100, [&] {
        if (!SettingsStore::SaveLanguageCode(code))
            throw std::runtime_error(QStringLiteral("The language could not be stored in %1.")
                                         .arg(SettingsStore::FilePath(SettingsKeys::Application))
                                         .toStdString());
    });
    if (!stored)
        h.step(102, [&] { showStoredLanguage(); });
}

void MainWindowMenus::showAbout()
{
    GuardedHandler h(messages_, QStringLiteral("Form2"), QStringLiteral("About_Click"));
    h.step(100, [&] { messages_.info(AboutText()); });
}

QAction *MainWindowMenus::addOption(QAction *before, const StoredOption &option)
{
    QMenu *change = window_.changeMenu();
    auto *entry = new QAction(option.text, change);
    entry->setObjectName(option.key + QStringLiteral("Action"));
    entry->setCheckable(true);
    entry->setChecked(option.load());
    change->insertAction(before, entry);
    options_.insert(entry, option);
    connect(entry, &QAction::triggered, this, [this, entry](bool on) { setOption(*entry, on); });
    return entry;
}

void MainWindowMenus::setOption(QAction &entry, bool on)
{
    const StoredOption option = options_.value(&entry);
    GuardedHandler h(messages_, QStringLiteral("Form2"), option.key + QStringLiteral("_Click"));
    const bool stored = h.step(100, [&] {
        if (!option.save(on)) {
            QString what = option.what;
            what[0] = what[0].toUpper();
            throw std::runtime_error(
                QStringLiteral("%1 could not be stored in %2.")
                    .arg(what, SettingsStore::FilePath(SettingsKeys::Application))
                    .toStdString());
        }
    });
    if (!stored)
        h.step(102, [&] { entry.setChecked(option.load()); });
}

QString MainWindowMenus::AboutText()
{
    return QStringLiteral("Recasor %1\n\nSettings: %2\nJournal of change runs: %3\nPassword: %4")
        .arg(QStringLiteral(RECASOR_VERSION),
             QFileInfo(SettingsStore::FilePath(SettingsKeys::Application)).absolutePath(),
             ChangeJournal::Folder(), PasswordKeeper::PlaceText());
}
