// How the rows of a table are told apart in the journal of a change run: by the table's primary
// key when it has one that is unique in every physical relation the run writes, otherwise by a
// row's physical position (ctid) within the relation that holds it. A run records, for every row
// it writes, the identity of the row as written (UPDATE ... RETURNING), so that an undo finds it
// again.
#pragma once

#include <QList>
#include <QString>

class DbSession;
class TablePlan;
struct TableRef;

struct RowIdentity {
    struct Column {
        QString name;    // the column's name, unquoted
        QString typeSql; // "schema"."type", to cast an identity's text back to the key's type

        friend bool operator==(const Column &, const Column &) = default;
    };

    // The key's columns in key order; empty when rows are told apart by their position.
    QList<Column> key;

    bool byPosition() const { return key.isEmpty(); }

    // Reads the catalogue: the table's primary key, unless an inheritance child (which does not
    // inherit the key, so its rows may repeat key values) is among the relations a run writes.
    // Throws DbError, also when the table does not exist.
    static RowIdentity Of(DbSession &session, const TableRef &table);
    static RowIdentity Of(DbSession &session, const TablePlan &plan);

    // SQL that gives the identity of row `alias` as one text: the key's text form, the text form
    // of a text[] of the key's text forms for a composite key, or the row's ctid as text.
    QString sql(const QString &alias) const;

    // A character that no identity's text holds, by which the server may join identities
    // without quoting them; a null character where a key's text may hold any.
    QChar separator() const;

    // SQL condition that row `alias` is the row whose identity the SQL text expression
    // `identityText` gives. The text is cast to the key's types, so that the key's index is used.
    QString matchSql(const QString &alias, const QString &identityText) const;

    // A text that keeps the identity in the journal, and back; false when the text is not one.
    QString toText() const;
    static bool FromText(const QString &text, RowIdentity &identity);

    friend bool operator==(const RowIdentity &, const RowIdentity &) = default;
};
