// A command of the main window's Change menu that runs a job on a thread of its own while the
// window is busy with it (Preview Changes, Undo Last Change Run): its menu entry, the window it
// works in and the one way it speaks to the user.
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

class MainWindow;
class Messages;
class QAction;

class MenuCommand : public QObject
{
    Q_OBJECT

public:
    // The entry's text, the name tests find it by and its shortcut.
    MenuCommand(MainWindow &window, Messages &messages, const QString &text, const QString &name,
                const QKeySequence &shortcut, QObject *parent);

    // The menu command; whoever puts it into a menu decides where.
    QAction *action() const { return action_; }

protected:
    MainWindow &window_;
    Messages &messages_;
    QAction *const action_;
};
