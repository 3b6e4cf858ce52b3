// A failed database operation, carrying the driver's own error text (what the user sees)
// and the SQLSTATE when the driver gave one.
#pragma once

#include <QString>
#include <stdexcept>

class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &text, const QString &sqlState = QString())
        : std::runtime_error(text.toStdString()), text_(text), sqlState_(sqlState)
    {
    }

    const QString &text() const { return text_; }
    const QString &sqlState() const { return sqlState_; }

private:
    QString text_;
    QString sqlState_;
};

// Whether a failure concerns one value (its statement alone failed: the type refused the text, a
// constraint, a trigger) rather than the whole task.
bool ConcernsOneValue(const DbError &error);

// A deadlock or serialization failure: the other transaction has gone, and the same statement
// sent again would succeed.
bool IsConflict(const DbError &error);
