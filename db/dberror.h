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
