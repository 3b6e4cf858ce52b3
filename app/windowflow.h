// The flow between the two windows: the connection window at start, the main window once the
// connection values connect, the connection window again on "Setup Connection", and the end
// of the program when either window is closed. The windows only say what happened; this
// object shows, hides and ends.
#pragma once

#include "ui/connectionwindow.h"

#include <QObject>
#include <memory>

class MainWindow;
class Messages;

class WindowFlow : public QObject
{
    Q_OBJECT

public:
    explicit WindowFlow(Messages &messages, QString programFolder = QString());
    ~WindowFlow() override;

    // The connection window's start-up sequence, which goes on to the main window when the
    // stored values connect.
    void start();

    ConnectionWindow &connectionWindow() { return connection_; }
    // The main window, once it has been made (null before).
    MainWindow *mainWindow() const { return main_.get(); }

signals:
    // The main window has just been made, before its load step: the menus' commands are
    // attached to it here.
    void mainWindowMade(MainWindow &window);

private:
    // Shows the main window, making and loading it the first time.
    void showMainWindow();
    void loadMainWindow();
    void end();

    Messages &messages_;
    QString programFolder_;
    ConnectionWindow connection_;
    std::unique_ptr<MainWindow> main_;
    // The last showing made the main window, so it has just been loaded.
    bool mainMadeNow_ = false;
};
