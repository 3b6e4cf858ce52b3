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

// SQL for a column's value in PostgreSQL's own text form (the type's output function, so a
// boolean reads "t" and a char(n) keeps its padding); NULL gives the empty text.
QString TextFormOf(const QString &quotedColumn);

// The text form of a one-dimensional text[] ({"a","b\"c"}), every element quoted, for use
// inside a literal (QuoteLiteral) cast to text[].
QString TextArray(const QList<QString> &values);

// The elements of a one-dimensional text[] in its text form; NULL elements come back as
// null QStrings. Returns false when the text is not such an array.
bool ParseTextArray(QStringView text, QList<QString> &values);
