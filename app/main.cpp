// Recasor: rewrites the letter case of the values of a PostgreSQL column. Without arguments the
// program starts on the connection window, whose load step goes on to the main window when the
// stored connection values connect; closing either window ends the program. With arguments it
// runs one command of the command line, with no display needed and no window ever opened.
#include "app/windowflow.h"
#include "appicon.h"
#include "cli/cliprogram.h"
#include "db/driversettings.h"
#include "db/heldwarnings.h"
#include "ui/form2.h"
#include "ui/mainwindowmenus.h"
#include "ui/messageboxes.h"

#include <QApplication>
#include <QCoreApplication>

namespace {

void PrepareDriver()
{
    // Stops and refused values are part of normal work: the driver's warnings of them are
    // left out of the terminal.
    HeldWarnings::Install();
    UsePrivateDriverSettings();
}

int RunWindows(int argc, char *argv[])
{
    QApplication app(argc, argv);
    PrepareDriver();
    app.setWindowIcon(RecasorIcon());
    MessageBoxes messages;
    WindowFlow flow(messages);
    QObject::connect(&flow, &WindowFlow::mainWindowMade,
                     [&messages](Form2 &window) { new MainWindowMenus(window, messages); });
    flow.start();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc <= 1)
        return RunWindows(argc, argv);
    QCoreApplication app(argc, argv);
    PrepareDriver();
    return CliProgram::Run(app.arguments().mid(1));
}
