// The parts of the UPDATE by which a writer writes a chunk's items to its target: the items as
// the rows of a derived table v, what is set, the conditions that find each item's row or rows,
// and which fields each row written had changed. The whole-chunk statement and the function
// that tries the items one by one are made of the same parts.
//
// An item matched by place is the row at its ctid as read: a row that another client changed
// since is at another place, and is not found there. An item matched by value is every row of
// the range that holds its old value. Either way each field must still hold the value read,
// and only fields whose value really changes are set.
//
// An item matched by key (a row of a foreign table) is the row whose key is the item's key. Its
// values come from jsonb arrays in the order of the chunk's keys, each row finding its place
// among the keys by width_bucket: postgres_fdw sends such a statement to the remote server
// whole, where a join makes it fetch and update the rows one by one.
#pragma once

#include "run/chunkwriter.h"

#include <QString>

class RowUpdate
{
public:
    RowUpdate(const WriteTarget &target, bool byPlace);

    // v's columns: the place c (by place), then each field's old and new value, then i, the
    // item's number from 1.
    QString columns(const QString &prefix = QString()) const;
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

    // The statement for items matched by key up to its rows written, w, from the statement's
    // parameters: the keys, then each field's olds and news (each a text and its delimiter). For
    // each row written, w holds the place of its item among the keys (i, from 1), its identity
    // (id) and its mask (m). The keys must be distinct and in key order.
    QString keyStatement(bool recording, bool masked) const;

private:
    // Item v's old and new value of field k for row t, and whether it changes the field.
    QString oldValue(qsizetype k) const;
    QString newValue(qsizetype k) const;
    QString perList(const QString &place, const QString &values) const;
    QString changes(qsizetype k) const;
    QString holds(qsizetype k) const;

    const WriteTarget &target_;
    const bool byPlace_;
    const bool byKey_;
};
