// The SQL by which a preview reads the values of its fields from every table it reads (a table
// with its inheritance children or partitions that have storage): which values the server
// judges and which the rule here, and the rows, or the (field, value) pairs, of several fields
// in one pass. A field is named by its number among the fields the preview counts.
#pragma once

#include "casing/caserules.h"
#include "db/fieldkinds.h"
#include "db/tableplan.h"

#include <QList>
#include <QString>
#include <functional>

class PreviewSql
{
public:
    // utf8: the server may judge ASCII values, which it can tell apart in UTF-8 only.
    // relations: every table to read, "schema"."name", stored here or on another server.
    PreviewSql(CaseMode mode, bool utf8, const QList<FieldKind> &fields,
               const QStringList &relations);

    // Whether the server judges the field's ASCII values itself.
    bool serverJudgesAscii(qsizetype k) const;

    // The condition on v, field k's value, that only the product's rule can judge it.
    QString clientJudges(qsizetype k, const QString &v) const;

    // The condition on a text v that it is ASCII and the rule changes it.
    QString asciiChanges(const QString &v) const;

    // The hash by which the server counts an ASCII value.
    static QString hash(const QString &v);

    // The rows of one table, where the condition holds, with the value of each field k as v<k>.
    QString relationRows(const QList<qsizetype> &ks, const QString &relation,
                         const QString &where = {}) const;

    // The same of every table, each row once.
    QString rows(const QList<qsizetype> &ks) const;

    // Field k's ASCII values that change, as column v.
    QString asciiValues(qsizetype k) const;

    // The values of the fields, in one pass, as pairs (k, v) where the condition on field k's
    // value holds; arrays in their text form, never NULL. With a row filter only the rows where
    // it holds for one of the fields are taken apart, which pays where it seldom holds.
    QString pairs(const QList<qsizetype> &ks, const std::function<QString(qsizetype)> &where,
                  bool rowFilter) const;

private:
    QString value(qsizetype k) const;

    CaseMode mode_;
    bool utf8_;
    QList<FieldKind> fields_;
    QStringList relations_;
};
