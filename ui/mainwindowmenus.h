// The commands of the main window's menu bar that go beyond its buttons. Each feature is a
// class of its own; this object puts their commands into the menus and keeps them alive as
// long as the window.
#pragma once

#include <QObject>

class MainWindow;
class Messages;
class QAction;

class MainWindowMenus : public QObject
{
    Q_OBJECT

public:
    MainWindowMenus(MainWindow &window, Messages &messages);

    // "About Recasor": the version, and the folders where Recasor keeps its files.
    void showAbout();
    // "Name Rules": stores the option as checked; an option that cannot be stored shows as it
    // stands in the file.
    void setNameRules(QAction &entry, bool on);

    static QString AboutText();

private:
    MainWindow &window_;
    Messages &messages_;
};
