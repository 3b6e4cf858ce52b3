#include "ui/mainwindowmenus.h"

#include "settings/settingsstore.h"
#include "ui/form2.h"
#include "ui/guardedhandler.h"
#include "ui/messages.h"
#include "ui/previewcommand.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>

MainWindowMenus::MainWindowMenus(Form2 &window, Messages &messages)
    : QObject(&window), window_(window), messages_(messages)
{
    new PreviewCommand(window_, messages_, this);
    QAction *about = window_.helpMenu()->addAction(QStringLiteral("&About Recasor"));
    about->setObjectName(QStringLiteral("AboutAction"));
    connect(about, &QAction::triggered, this, &MainWindowMenus::About);
}

void MainWindowMenus::About()
{
    GuardedHandler h(messages_, QStringLiteral("Form2"), QStringLiteral("About_Click"));
    h.step(100, [&] { messages_.info(AboutText()); });
}

QString MainWindowMenus::AboutText()
{
    const QString data =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/Recasor");
    return QStringLiteral("Recasor %1\n\nSettings: %2\nJournal of change runs: %3")
        .arg(QStringLiteral(RECASOR_VERSION),
             QFileInfo(SettingsStore::FilePath(SettingsKeys::Application)).absolutePath(), data);
}
