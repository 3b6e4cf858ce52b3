// What a long job (a change run, a preview, an undo) knows of a table before it reads it: its
// oid and kind, its fields with their kinds, and the tables that hold its rows. Every job looks a
// table up here, so that they all agree on what they read and write.
#pragma once

#include "db/fieldkinds.h"
#include "db/rowidentity.h"

#include <QList>
#include <QString>
#include <optional>

class DbSession;

// A table that holds rows of its own, with its size when it was looked at.
struct StoredRelation {
    QString oid;
    QString sql;       // "schema"."name"
    qint64 blocks = 0; // in blocks of the server's block size
};

// A table of the tree whose rows are not stored here (a foreign table, whose rows live on
// another server): it has no block ranges, and its rows are walked by ranges of a key instead.
struct KeyedRelation {
    QString oid;
    QString sql; // "schema"."name"
    // The key's columns in key order; empty when the table has none that can be walked.
    QList<RowIdentity::Column> key;
    bool keyMayBeNull = false; // a column of the key may hold NULL
};

class TablePlan
{
public:
    // The table that the quoted, schema-qualified name names; none when there is no such table.
    // Throws DbError.
    static std::optional<TablePlan> Of(DbSession &session, const QString &tableSql);

    const QString &oid() const { return oid_; }
    bool partitioned() const { return partitioned_; }
    const QList<FieldKind> &fields() const { return fields_; }
    // The field of that name; none when the table has no such field.
    std::optional<FieldKind> field(const QString &name) const;

    // The table and every table that inherits from it or is a partition of it, as an UPDATE of
    // the table reaches them all: those with storage of their own, in the order of their oids,
    // with their present sizes. Throws DbError.
    QList<StoredRelation> storedRelations(DbSession &session) const;

    // The tables of the tree that have no storage here, in the order of their oids, each with
    // the key it can be walked by. Throws DbError.
    QList<KeyedRelation> keyedRelations(DbSession &session) const;

    // Whether a change of the field may move a row to another partition: it is in the key of a
    // partitioned table of the tree, or an expression key may use it. Throws DbError.
    bool inPartitionKey(DbSession &session, const QString &field) const;

    // Whether a table of the tree inherits from another without being its partition: such a
    // child does not inherit the primary key, so key values may repeat. Throws DbError.
    bool hasInheritingChildren(DbSession &session) const;

    // When the session's user is a superuser: the roles that are not and yet own a table of the
    // tree or the function of one of its triggers, in name order. A write runs their code (its
    // triggers, and the functions of its constraints and indexes) with the writer's rights, as
    // any UPDATE does. Empty when the user is no superuser or every owner is one. Throws DbError.
    QStringList untrustedOwners(DbSession &session) const;

private:
    // The recursive common table expression "tree(oid)" of the table and its descendants.
    QString treeSql() const;
    // The key of a foreign partition, from the partition key of its partitioned parent.
    static void readKey(DbSession &session, const QString &parentOid, KeyedRelation &relation);

    QString oid_;
    bool partitioned_ = false;
    QList<FieldKind> fields_;
};
