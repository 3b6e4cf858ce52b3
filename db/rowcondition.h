// A condition on the rows of a table that the user writes in SQL ("country = 'TR' AND created
// >= '2024-01-01'"): a run, its preview and the list of values read and write only the rows
// where it holds.
//
// It is the one piece of SQL that resolves names as the user's own sessions would, by the
// search path the role and the database set. Before any statement is made of it, the text is
// read as the server's lexer reads it (sqlscan.h), and the server checks it on the table in a
// read-only transaction: one boolean expression over the table's columns (the table itself is
// t), with no aggregate, no set-returning function, nothing that writes, and nothing whose value
// may change between a row's read and its write (a volatile function such as random() or
// nextval()). The server then gives it back as the statements use it: every name resolved
// and written through its schema, so that the program's own statements keep their hardened
// search path.
#pragma once

#include "db/tableref.h"

#include <QString>
#include <stdexcept>

class DbSession;

// The server, or the reading of the text, refused the condition: nothing was read or written.
class ConditionRefused : public std::runtime_error
{
public:
    explicit ConditionRefused(const QString &reason)
        : std::runtime_error(reason.toStdString()), reason_(reason)
    {
    }
    // Why, in the server's words where the server refused it.
    const QString &reason() const { return reason_; }
    // "The row condition was refused: <reason>"
    QString text() const;

private:
    QString reason_;
};

class RowCondition
{
public:
    // No condition: every row.
    RowCondition() = default;

    // The condition as the table's statements use it, checked on the session, which must not be
    // in a transaction. Throws ConditionRefused, or DbError when the server could not be asked.
    static RowCondition Check(DbSession &session, const TableRef &table, const QString &text);

    bool isSet() const { return !sql_.isEmpty(); }
    // As the user wrote it.
    const QString &text() const { return text_; }
    // The condition on row t of the table, or of one of its partitions, to stand in a WHERE
    // clause: in parentheses, on lines of its own; "true" when there is none.
    QString sql() const;

private:
    QString text_;
    QString sql_;
};
