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

// A tool tip that shows the text as it stands: a tip that looks like markup would otherwise be
// drawn as rich text, and a table's name or value may be made to look so. Empty for none.
QString PlainToolTip(const QString &text);

class QColor;
class QCursor;
class QFont;
class QWidget;

// The folder of the program file, where the optional files HAND-M.CUR and x/o.cjs are looked
// up.
QString ProgramFolder();

// The skin of the connection window. On this platform only its colour steps apply: when the
// skin file x/o.cjs is beside the program, the window, its frames and its labels take the
// button-face colour.
void ApplySkin(QWidget &window, const QString &programFolder);

// The window, and its frames, labels, check boxes and option buttons, take the button-face
// colour of the system.
void ApplyFormColours(QWidget &window);

// A cursor from a Windows cursor file (.cur), with the hot spot the file gives. Throws
// std::runtime_error when the file cannot be read as a cursor.
QCursor LoadCursorFile(const QString &path);

// Twips (1/1440 inch) to pixels at 96 dots per inch: 15 twips make one pixel, rounded to the
// nearest whole pixel.
int Twips(int twips);

// Places a control by its left, top, width and height in twips.
void PlaceTwips(QWidget &control, int left, int top, int width, int height);

// Arial at the size in points, bold or regular.
QFont ArialFont(qreal points, bool bold);

// The desktop's own font, whole: a control given it keeps it, not the bold Arial of the window
// that holds it.
QFont DesktopFont();

// Moves a window to the middle of its screen.
void CentreOnScreen(QWidget &window);

// A fixed-size window of the given client size in twips: no resizing and no maximising;
// system menu, minimise and close.
void MakeFixedWindow(QWidget &window, int widthTwips, int heightTwips);

// Sets the background colour of a control and has it painted (a label takes the colour but
// leaves the painting to the frame it stands on).
void SetBackground(QWidget &control, const QColor &colour);
