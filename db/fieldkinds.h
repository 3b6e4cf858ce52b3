// Which fields of a table the case rules may rewrite. Only character data has a letter case to
// change: json, xml, enums, hstore, numbers and the like are left alone, and so are generated
// columns and columns the role may not update. Shared by everything that reads or writes the way
// a change run does.
#pragma once

#include "db/dbsession.h"

#include <QList>
#include <QString>

struct FieldKind {
    QString name;    // the column's name
    QString type;    // its type as the server writes it: "character varying(60)", "text[]", "mood"
    QString typeSql; // its type for a cast: "schema"."name" ("pg_catalog"."_text" for text[])
    bool character = false; // text, varchar, char(n), name or citext, a domain over one of
                            // these, or an array of these (through domains too)
    bool array = false;     // the values are arrays, converted element by element
    bool plainText = false; // text or varchar itself: the value is its own text form
    bool generated = false; // a generated column: the server computes it, nobody writes it
    bool updatable = false; // the session's role may update it (on the table or the column)

    // Whether a change run may rewrite the field.
    bool changeable() const { return character && !generated && updatable; }

    // Why a field that is not changeable is left alone: "not text", "generated" or
    // "no UPDATE privilege"; empty for a changeable field.
    QString leftAloneReason() const;
};

// Every column of the table with that oid, in column order; empty when there is no such table.
// Throws DbError.
QList<FieldKind> FieldKinds(DbSession &session, quint32 tableOid);

// The closing message's lines for fields left alone, one line per reason in the order the
// reasons first occur: "Left alone (not text): data (jsonb), mood (mood)". Empty for none.
QString LeftAloneText(const QList<FieldKind> &fields);
