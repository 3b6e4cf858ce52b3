// The parts of the UPDATE by which a writer writes a chunk's items to its target: the items as
// the rows of a derived table v, what is set, the conditions that find each item's row or rows,
// and which fields each row written had changed. The whole-chunk statement and the function
// that tries the items one by one are made of the same parts.
//
// An item matched by place is the row at its ctid as read: a row that another client changed
// since is at another place, and is not found there. An item matched by value is every row of
// the range that holds its old value. Either way each field must still hold the value read,
// and only fields whose value really changes are set.
#pragma once

#include "run/chunkwriter.h"

#include <QString>

class RowUpdate
{
public:
    RowUpdate(const WriteTarget &target, bool byPlace);

    // v's columns: the place c (by place), then each field's old and new value, then i, the
    // item's number from 1.
    QString columns() const;
    // The lists as arrays, from the statement's parameters (each a text and its delimiter) or
    // from the function's arguments, and the function's argument types.
    QString arraysFromParameters() const;
    QString arraysFromArguments() const;
    QString argumentTypes() const;
    qsizetype arrays() const;

    QString set() const;
    // Row t is one of item v's rows, holds its old values and changes.
    QString match() const;
    // The fields of row t that item v changed, one bit each in the target's order.
    QString mask() const;

private:
    QString changes(qsizetype k) const;
    QString holds(qsizetype k) const;

    const WriteTarget &target_;
    const bool byPlace_;
};
