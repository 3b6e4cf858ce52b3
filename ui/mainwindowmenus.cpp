#include "ui/mainwindowmenus.h"

#include "journal/changejournal.h"
#include "settings/settingsstore.h"
#include "ui/guardedhandler.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/previewcommand.h"
#include "ui/undocommand.h"
#include "ui/wordexceptionsdialog.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <stdexcept>

MainWindowMenus::MainWindowMenus(MainWindow &window, Messages &messages)
    : QObject(&window), window_(window), messages_(messages)
{
    // The commands' entries go before Stop, in this order.
    for (MenuCommand *command :
         std::initializer_list<MenuCommand *>{new PreviewCommand(window_, messages_, this),
                                              new UndoCommand(window_, messages_, this)})
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
    // "Name Rules" follows it, as the other addition to Proper Case.
    QAction *nameRules = new QAction(QStringLiteral("&Name Rules"), change);
    nameRules->setObjectName(QStringLiteral("NameRulesAction"));
    nameRules->setCheckable(true);
    nameRules->setChecked(SettingsStore::NameRules());
    change->insertAction(beforeStop, nameRules);
    connect(nameRules, &QAction::triggered, this,
            [this, nameRules](bool on) { setNameRules(*nameRules, on); });
    // The check shows the stored option, also after the file was edited by hand.
    connect(change, &QMenu::aboutToShow, nameRules,
            [nameRules] { nameRules->setChecked(SettingsStore::NameRules()); });

    QAction *about = window_.helpMenu()->addAction(QStringLiteral("&About Recasor"));
    about->setObjectName(QStringLiteral("AboutAction"));
    connect(about, &QAction::triggered, this, &MainWindowMenus::showAbout);
}

void MainWindowMenus::showAbout()
{
    GuardedHandler h(messages_, QStringLiteral("Form2"), QStringLiteral("About_Click"));
    h.step(100, [&] { messages_.info(AboutText()); });
}

void MainWindowMenus::setNameRules(QAction &entry, bool on)
{
    GuardedHandler h(messages_, QStringLiteral("Form2"), QStringLiteral("NameRules_Click"));
    const bool stored = h.step(100, [&] {
        if (!SettingsStore::SaveNameRules(on))
            throw std::runtime_error(QStringLiteral("The name rules could not be stored in %1.")
                                         .arg(SettingsStore::FilePath(SettingsKeys::Application))
                                         .toStdString());
    });
    if (!stored)
        h.step(102, [&] { entry.setChecked(SettingsStore::NameRules()); });
}

QString MainWindowMenus::AboutText()
{
    return QStringLiteral("Recasor %1\n\nSettings: %2\nJournal of change runs: %3")
        .arg(QStringLiteral(RECASOR_VERSION),
             QFileInfo(SettingsStore::FilePath(SettingsKeys::Application)).absolutePath(),
             ChangeJournal::Folder());
}
