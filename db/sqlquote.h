// The one place where SQL quoting is built: identifiers and text literals.
#pragma once

#include <QList>
#include <QString>

// "name" with every embedded double quote doubled.
QString QuoteIdentifier(const QString &name);

// "schema"."name".
QString QualifiedName(const QString &schema, const QString &name);

// A text literal that means the same whatever standard_conforming_strings says: the E''
// form, with single quotes and backslashes doubled.
QString QuoteLiteral(const QString &value);

// The body as a dollar-quoted string, $recasor$...$recasor$, under a tag that the body does not
// hold: a name inside the body can then never end it early. For function bodies made by the
// program, whose names are quoted identifiers.
QString DollarQuoted(const QString &body);

// SQL for a column's value in PostgreSQL's own text form (the type's output function, so a
// boolean reads "t" and a char(n) keeps its padding); NULL gives the empty text.
QString TextFormOf(const QString &quotedColumn);

// A delimiter that occurs in none of the values: joined with it, the values travel as one
// text that the server splits again with string_to_array(), far faster than it parses an
// array literal. The values must not be empty (string_to_array gives no element for '').
QString UnusedDelimiter(const QList<QString> &values);
// The same for the values of several lists, which are not copied into one.
QString UnusedDelimiter(const QList<QList<QString>> &lists);

// The elements of a one-dimensional text[] in its text form; NULL elements come back as
// null QStrings. Returns false when the text is not such an array.
bool ParseTextArray(QStringView text, QList<QString> &values);
