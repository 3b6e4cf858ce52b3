// Qt's ODBC driver writes a warning ("QODBCResult::exec: Unable to execute statement: ...") for
// every statement that fails, before the program has seen the failure, also for failures that
// the program expects and handles: a statement it cancelled itself on a stop, a value the
// server refuses, a deadlock that is retried. A session holds the warnings of each statement
// while it runs, and leaves them out only when the statement's failure turns out to be one of
// those; every other warning goes on, in its order, to the handler that was in place.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

class HeldWarnings
{
public:
    // Puts the handler that holds warnings in front of the message handler in place now
    // (again, when another has come since). Until then nothing is held.
    static void Install();

    // Holds the warnings that the calling thread writes from now on, until the object ends;
    // they then go on, unless drop() was called. Holders nest: the inner one holds, and what
    // it lets go is held by the outer one.
    HeldWarnings();
    ~HeldWarnings();

    HeldWarnings(const HeldWarnings &) = delete;
    HeldWarnings &operator=(const HeldWarnings &) = delete;

    // Leaves out what was held: the failure it warned of was expected.
    void drop() { held_.clear(); }

    // A warning with what it needs to go on later: its context's texts are copied.
    struct Message {
        QtMsgType type;
        QByteArray file, function, category;
        int line;
        QString text;
    };

    // Holds the message when the calling thread has a holder; false when it has none.
    static bool Hold(const Message &message);

private:
    QList<Message> held_;
    HeldWarnings *outer_;
};
