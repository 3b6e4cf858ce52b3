// Recasor: rewrites the letter case of the values of a PostgreSQL column. Without arguments the
// program starts on the connection window, whose load step goes on to the main window when the
// stored connection values connect; closing either window ends the program. With arguments it
// runs one command of the command line, with no display needed and no window ever opened.
#include "app/windowflow.h"
#include "appicon.h"
#include "cli/cliprogram.h"
#include "db/driversettings.h"
#include "db/driverwarnings.h"
#include "settings/settingsstore.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowmenus.h"
#include "ui/messageboxes.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace {

// The windows need a display; without one Qt would abort the program.
bool HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void PrepareDriver()
{
    // The program says what failed itself: the driver's warnings are left out of the terminal.
    DriverWarnings::Install();
    UsePrivateDriverSettings();
}

int RunWindows(int argc, char *argv[])
{
    QApplication app(argc, argv);
    PrepareDriver();
    app.setWindowIcon(RecasorIcon());
    // The name of the installed desktop entry, by which a Wayland desktop matches the windows
    // with the entry's name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(RECASOR_APP_ID));
    MessageBoxes messages;
    WindowFlow flow(messages);
    QObject::connect(&flow, &WindowFlow::mainWindowMade,
                     [&messages](MainWindow &window) { new MainWindowMenus(window, messages); });
    flow.start();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    SettingsStore::TakeHomeFromThePasswordDatabase();
    if (argc <= 1 && !HasDisplay()) {
        std::fputs("recasor: the windows need a display (DISPLAY or WAYLAND_DISPLAY);\n"
                   "`recasor --help` shows the command line, which needs none.\n",
                   stderr);
        return 2;
    }
    if (argc <= 1)
        return RunWindows(argc, argv);
    QCoreApplication app(argc, argv);
    PrepareDriver();
    return CliProgram::Run(app.arguments().mid(1));
}
