// Small procedures shared by the two windows.
#pragma once

#include <QString>

// True when a file is at the path; false for a missing file, a missing folder or an empty
// path. Never fails.
bool FileExists(const QString &path);

// The title cut to at most maxLength characters by dropping trailing words: while it is too
// long, its last blank and everything after it go. A title without a blank is cut hard.
QString CutTitle(QString title, int maxLength = 40);

// Makes the (cut) product title the title of every message box that gives none of its own.
void SetAppTitle(const QString &productTitle = QStringLiteral("Recasor"));

// The title that SetAppTitle made.
QString AppTitle();
