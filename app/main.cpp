// Recasor: rewrites the letter case of the values of a PostgreSQL column. The program starts
// on the connection window, whose load step goes on to the main window when the stored
// connection values connect; closing either window ends the program.
#include "app/windowflow.h"
#include "appicon.h"
#include "db/driversettings.h"
#include "db/heldwarnings.h"
#include "ui/form2.h"
#include "ui/mainwindowmenus.h"
#include "ui/messageboxes.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Stops and refused values are part of normal work: the driver's warnings of them are
    // left out of the terminal.
    HeldWarnings::Install();
    UsePrivateDriverSettings();
    app.setWindowIcon(RecasorIcon());

    MessageBoxes messages;
    WindowFlow flow(messages);
    QObject::connect(&flow, &WindowFlow::mainWindowMade,
                     [&messages](Form2 &window) { new MainWindowMenus(window, messages); });
    flow.start();
    return app.exec();
}
