#include "ui/wordexceptionsdialog.h"

#include "casing/wordexceptions.h"
#include "settings/settingsstore.h"
#include "ui/filefolder.h"
#include "ui/guardedhandler.h"
#include "ui/messages.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QStringDecoder>
#include <QVBoxLayout>
#include <optional>
#include <stdexcept>

namespace {

const QString WordsWindowName = QStringLiteral("WordExceptionsDialog");
const QString FileFilter = QStringLiteral("Text files (*.txt);;All files (*)");

// A word list is small; a file far larger than any list is the wrong file, and reading it
// whole would only hold up the window.
constexpr qint64 MaxFileBytes = 16 << 20;

// A file that cannot serve as a word list: the user's to put right, so it is said plainly, not
// reported as a failure of the program.
struct FileProblem {
    QString text;
};

[[noreturn]] void refuseFile(const QString &text)
{
    throw FileProblem{text};
}

// Asks for a word file as the handler's step 100 and reads or writes it as step 102; what is
// wrong with the file is said as step 103. True when the file went through.
bool transferWordFile(GuardedHandler &h, Messages &messages, const std::function<QString()> &choose,
                      const std::function<void(const QString &path)> &action)
{
    QString path;
    h.step(100, [&] { path = choose(); });
    if (path.isEmpty())
        return false;
    std::optional<QString> problem;
    if (!h.step(102, [&] {
            try {
                action(path);
            } catch (const FileProblem &refused) {
                problem = refused.text;
            }
        }))
        return false;
    if (problem)
        h.step(103, [&] { messages.info(*problem); });
    else
        RememberFileFolder(path);
    return !problem;
}

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

WordExceptionsDialog::WordExceptionsDialog(Messages &messages, QWidget *parent)
    : QDialog(parent), messages_(messages)
{
    setObjectName(WordsWindowName);
    setWindowTitle(QStringLiteral("Word Exceptions"));
    auto *label = new QLabel(QStringLiteral("One word per line. Proper Case and Sentence case "
                                            "write these words as they stand here."),
                             this);
    label->setWordWrap(true);
    WordsEdit = new QPlainTextEdit(this);
    WordsEdit->setObjectName(QStringLiteral("WordsEdit"));
    WordsEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    WordsEdit->setTabChangesFocus(true);

    auto *importButton = new QPushButton(QStringLiteral("Import…"), this);
    importButton->setObjectName(QStringLiteral("ImportButton"));
    auto *exportButton = new QPushButton(QStringLiteral("Export…"), this);
    exportButton->setObjectName(QStringLiteral("ExportButton"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // Import and Export stay plain buttons, so that Enter in the list never presses them.
    for (QPushButton *button : {importButton, exportButton})
        button->setAutoDefault(false);

    auto *fileButtons = new QHBoxLayout;
    fileButtons->addWidget(importButton);
    fileButtons->addWidget(exportButton);
    fileButtons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(WordsEdit);
    layout->addLayout(fileButtons);
    layout->addWidget(buttons);
    resize(380, 440);

    connect(importButton, &QPushButton::clicked, this, &WordExceptionsDialog::importWords);
    connect(exportButton, &QPushButton::clicked, this, &WordExceptionsDialog::exportWords);
    connect(buttons, &QDialogButtonBox::accepted, this, &WordExceptionsDialog::storeAndClose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    chooseImportFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Import Word Exceptions"),
                                            FileDialogStart(), FileFilter);
    };
    chooseExportFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export Word Exceptions"),
                                            FileDialogStart(QStringLiteral("word-exceptions.txt")),
                                            FileFilter);
    };
}

void WordExceptionsDialog::Edit(Messages &messages, QWidget *parent)
{
    GuardedHandler h(messages, QStringLiteral("Form2"), QStringLiteral("WordExceptions_Click"));
    WordExceptionsDialog dialog(messages, parent);
    if (h.step(100, [&] { dialog.setWords(SettingsStore::ExceptionWords()); }))
        h.step(102, [&] { dialog.exec(); });
}

QStringList WordExceptionsDialog::words() const
{
    return WordExceptions::Cleaned(WordsEdit->toPlainText().split(u'\n'));
}

void WordExceptionsDialog::setWords(const QStringList &words)
{
    WordsEdit->setPlainText(words.join(u'\n'));
    stored_ = this->words();
}

void WordExceptionsDialog::reject()
{
    if (words() != stored_) {
        switch (messages_.askToSave(QStringLiteral("The word exceptions were changed. Store "
                                                   "the changes?"))) {
        case Messages::Unsaved::Save:
            storeAndClose();
            return;
        case Messages::Unsaved::Cancel:
            return;
        case Messages::Unsaved::Discard:
            break;
        }
    }
    QDialog::reject();
}

void WordExceptionsDialog::storeAndClose()
{
    GuardedHandler h(messages_, WordsWindowName, QStringLiteral("OK_Click"));
    QStringList list;
    h.step(100, [&] { list = words(); });
    // A list that could not be stored stays in the window, to be stored again or exported.
    const bool stored = h.step(102, [&] {
        if (!SettingsStore::SaveExceptionWords(list))
            fail(QStringLiteral("The word exceptions could not be stored in %1.")
                     .arg(SettingsStore::FilePath(SettingsKeys::Application)));
    });
    if (stored)
        h.step(104, [&] {
            stored_ = list;
            accept();
        });
}

void WordExceptionsDialog::importWords()
{
    GuardedHandler h(messages_, WordsWindowName, QStringLiteral("Import_Click"));
    QStringList imported;
    if (transferWordFile(h, messages_, chooseImportFile,
                         [&](const QString &path) { imported = ReadWordFile(path); }))
        h.step(104, [&] { setWords(WordExceptions::Cleaned(words() + imported)); });
}

void WordExceptionsDialog::exportWords()
{
    GuardedHandler h(messages_, WordsWindowName, QStringLiteral("Export_Click"));
    const QStringList list = words();
    QString written;
    if (transferWordFile(h, messages_, chooseExportFile, [&](const QString &path) {
            WriteWordFile(path, list);
            written = path;
        }))
        h.step(104, [&] {
            messages_.info((list.size() == 1
                                ? QStringLiteral("1 word was written to %1.")
                                : QStringLiteral("%L1 words were written to %2.").arg(list.size()))
                               .arg(written));
        });
}

QStringList WordExceptionsDialog::ReadWordFile(const QString &path)
{
    // Only a regular file: opening a named pipe would wait for a writer, with the window frozen.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        refuseFile(
            QStringLiteral("The file %1 could not be read: it is not a regular file.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuseFile(
            QStringLiteral("The file %1 could not be read: %2").arg(path, file.errorString()));
    if (file.size() > MaxFileBytes)
        refuseFile(QStringLiteral("The file %1 is too large for a list of words.").arg(path));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        refuseFile(
            QStringLiteral("The file %1 could not be read: %2").arg(path, file.errorString()));
    // The decoder drops a byte order mark at the start.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        refuseFile(QStringLiteral("The file %1 is not UTF-8 text.").arg(path));
    return WordExceptions::Cleaned(text.split(u'\n'));
}

void WordExceptionsDialog::WriteWordFile(const QString &path, const QStringList &words)
{
    QByteArray bytes;
    for (const QString &word : words)
        bytes += word.toUtf8() + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        refuseFile(
            QStringLiteral("The file %1 could not be written: %2").arg(path, file.errorString()));
}
