// Where the program's file dialogs start: in the folder of the last file the user chose in any
// of them, or in the home folder at first.
#pragma once

#include <QString>

// The start of a file dialog, with the file name it proposes when given.
QString FileDialogStart(const QString &fileName = QString());

// The folder of a file the user chose, for the next file dialog.
void RememberFileFolder(const QString &path);
