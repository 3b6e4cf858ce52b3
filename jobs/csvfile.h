// A CSV file as spreadsheets and Python's csv module read it back exactly (RFC 4180): UTF-8 with
// a byte order mark, CRLF line ends, and a field that holds a comma, a quote or a line break in
// quotes, its quotes doubled. The file is written whole, or not at all: it replaces one of the
// same name only when commit() succeeds.
#pragma once

#include <QSaveFile>
#include <QStringList>
#include <stdexcept>

// Why the file could not be written: "<path>: <reason>".
class CsvFileError : public std::runtime_error
{
public:
    explicit CsvFileError(const QString &text) : std::runtime_error(text.toStdString()), text_(text)
    {
    }
    const QString &text() const { return text_; }

private:
    QString text_;
};

class CsvFile
{
public:
    // Opens the file and writes the header line. Throws CsvFileError.
    CsvFile(const QString &path, const QStringList &header);

    // One line of fields. Throws CsvFileError.
    void write(const QStringList &fields);

    // Puts the file in its place. Throws CsvFileError.
    void commit();

private:
    // One field of a line, quoted where it needs to be.
    static QString Field(const QString &text);

    [[noreturn]] void fail();

    QSaveFile file_;
};
