// The flow between the two windows: the connection window at start, the main window once the
// connection values connect, the connection window again on "Setup Connection", and the end
// of the program when either window is closed. The windows only say what happened; this
// object shows, hides and ends.
#pragma once

#include "ui/form1.h"

#include <QObject>
#include <memory>

class Form2;
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

    Form1 &connectionWindow() { return connection_; }
    // The main window, once it has been made (null before).
    Form2 *mainWindow() const { return main_.get(); }

signals:
    // The main window has just been made, before its load step: the menus' commands are
    // attached to it here.
    void mainWindowMade(Form2 &window);

private:
    // Shows the main window, making and loading it the first time.
    void showMainWindow();
    void loadMainWindow();
    void end();

    Messages &messages_;
    QString programFolder_;
    Form1 connection_;
    std::unique_ptr<Form2> main_;
    // The last showing made the main window, so it has just been loaded.
    bool mainMadeNow_ = false;
};
