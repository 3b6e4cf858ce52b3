// "Run History…" of the main window's Change menu: the journal's runs in a dialog, from which
// the selected run of the window's database is undone by the window's undo, with its question
// and its Stop.
#pragma once

#include "ui/menucommand.h"

class UndoCommand;

class RunHistoryCommand : public MenuCommand
{
    Q_OBJECT

public:
    RunHistoryCommand(MainWindow &window, Messages &messages, UndoCommand &undo,
                      QObject *parent = nullptr);
    void showRunHistory();

private:
    UndoCommand &undo_;
};
