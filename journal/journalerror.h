// A failure to write or read the journal of change runs, carrying the text the user sees, such
// as "The journal could not be written: database or disk is full."
#pragma once

#include <QString>
#include <stdexcept>

class JournalError : public std::runtime_error
{
public:
    enum class Action { Reading, Writing };

    JournalError(Action action, const QString &reason) : JournalError(TextFor(action, reason))
    {
        reason_ = reason.trimmed();
    }

    const QString &text() const { return text_; }
    // What failed, without the words around it.
    const QString &reason() const { return reason_; }

protected:
    explicit JournalError(const QString &text) : std::runtime_error(text.toStdString()), text_(text)
    {
    }

    static QString TextFor(Action action, QString reason)
    {
        reason = reason.trimmed();
        if (!reason.isEmpty() && !reason.endsWith(u'.'))
            reason += u'.';
        return (action == Action::Writing ? QStringLiteral("The journal could not be written: ")
                                          : QStringLiteral("The journal could not be read: ")) +
               reason;
    }

private:
    QString text_;
    QString reason_;
};
