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
    // condition: the rows to read, on row t (RowCondition::sql()).
    PreviewSql(CaseMode mode, bool utf8, const QList<FieldKind> &fields,
               const QStringList &relations, const QString &condition);

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

    // Up to limit of field k's ASCII values that change, each as (k, its start for the list).
    QString asciiValues(qsizetype k, qint64 limit) const;

    // The fields' ASCII values that change, grouped by value: rows (kind, k, value, n) of
    // kind 1: the distinct values, 2: a change for the list, 3: the values that occur once,
    // 4: all the distinct values.
    QString groupedAscii(const QList<qsizetype> &ks) const;

    // How many of field k's values that occur once the list may take, of its distinct hashes.
    struct OnceWanted {
        qsizetype k;
        qint64 hashes;
        qint64 wanted;
    };
    // The same, by hash: kind 0 gives the hashes of field k that stand for more than one row,
    // and only the values behind them are grouped; kind 2 also lists values that occur once.
    QString hashedAscii(const QList<qsizetype> &ks, const QList<OnceWanted> &once) const;

    // The values of the fields, in one pass, as pairs (k, v) where the condition on field k's
    // value holds; arrays in their text form, never NULL. With a row filter only the rows where
    // it holds for one of the fields are taken apart, which pays where it seldom holds.
    QString pairs(const QList<qsizetype> &ks, const std::function<QString(qsizetype)> &where,
                  bool rowFilter) const;

private:
    QString value(qsizetype k) const;
    // The pairs (k, v) of the fields' ASCII values that change.
    QString asciiPairs(const QList<qsizetype> &ks) const;

    CaseMode mode_;
    bool utf8_;
    QList<FieldKind> fields_;
    QStringList relations_;
    QString condition_;
};
