// "Word Exceptions…": the words whose spelling Proper Case and Sentence case keep as listed,
// one word per line in a plain editable list, stored in the settings file by OK. "Import…"
// adds the words of a UTF-8 text file of one word per line, "Export…" writes the list as such
// a file, so that a team can share one.
//
// The handlers are methods a test can call without the dialog's modal loop; the file dialogs
// behind "Import…" and "Export…" can be replaced as well.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class Messages;
class QPlainTextEdit;

class WordExceptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit WordExceptionsDialog(Messages &messages, QWidget *parent = nullptr);

    // The menu command: the dialog on the stored list, modal.
    static void Edit(Messages &messages, QWidget *parent);

    // The list as the editor holds it, cleaned: no blanks around a word, no empty lines, and
    // each word once (a word that differs from an earlier one only in case is left out, as it
    // could never apply).
    QStringList words() const;
    void setWords(const QStringList &words);

    void storeAndClose(); // stores the list and closes; stays open when it cannot be stored
    // Closing (Cancel, Esc, the window's close) with edits not stored asks whether to store
    // them first.
    void reject() override;
    void importWords(); // adds the words of a file to the list
    void exportWords(); // writes the list to a file

    // The words of a UTF-8 text file, one a line (a byte order mark and CR LF line ends are
    // fine). A file that cannot be read, is no regular file or is not UTF-8 text is refused
    // with the text that Import shows.
    static QStringList ReadWordFile(const QString &path);
    // Writes the words as UTF-8 text, one a line, replacing the file whole. A file that cannot
    // be written is refused with the text that Export shows.
    static void WriteWordFile(const QString &path, const QStringList &words);

    // The file to import from or export to: asked by a file dialog; empty when none is chosen.
    std::function<QString()> chooseImportFile;
    std::function<QString()> chooseExportFile;

private:
    Messages &messages_;
    QPlainTextEdit *WordsEdit;
    QStringList stored_; // the list as it was last set or stored
};
