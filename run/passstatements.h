// The statements of a change run's pass, as SQL text: the read of a chunk's values, and the
// parts of the UPDATE that writes its pairs, which the chunk writer puts together.
#pragma once

#include "casing/caserules.h"
#include "db/tableplan.h"
#include "db/tableref.h"
#include "run/chunkwriter.h"
#include "run/keywalk.h"

#include <QHash>
#include <QSet>
#include <QString>

class WordExceptions;
struct RowIdentity;

// A physical range of a relation: from (firstBlock, firstOffset) up to, not including,
// (endBlock, endOffset).
struct PassChunk {
    const StoredRelation *relation;
    qint64 firstBlock;
    int firstOffset;
    qint64 endBlock;
    qint64 blocks; // the blocks it completes, for the progress
    int endOffset = 0;
    qint64 rowsRead = 0; // once it is read, for the progress

    QString first() const { return QStringLiteral("(%1,%2)").arg(firstBlock).arg(firstOffset); }
    QString end() const { return QStringLiteral("(%1,%2)").arg(endBlock).arg(endOffset); }
};

// A field as a pass writes it, with what the pass learns of its values.
struct PassField {
    QString name;
    QString sql;               // "name"
    QString typeSql;           // "schema"."type", for casting the new text to the field's type
    bool plainText = false;    // text or varchar: the value is its own text form
    bool array = false;        // an array of text, converted element by element
    bool partitionKey = false; // rows may move to another partition when it changes
};

class PassStatements
{
public:
    // The identity is that of the run's journal, by which the rows written are recorded; none
    // records nothing. The words are the run's word exceptions; utf8 says that the server's
    // encoding is UTF-8, where the server may leave out ASCII values itself. The condition on
    // row t (RowCondition::sql()) picks the rows that every statement reads and writes.
    PassStatements(const TableRef &table, CaseMode mode, const WordExceptions &words, bool utf8,
                   const RowIdentity *identity, const QString &condition)
        : table_(table), mode_(mode), words_(words), utf8_(utf8), identity_(identity),
          condition_(condition)
    {
    }

    // The rows of the run: the condition on row t.
    const QString &conditionSql() const { return condition_; }

    // The read of a chunk's rows with the values of all the pass's fields.
    QString readSql(const QList<PassField> &fields, const PassChunk &chunk) const;
    // The same for a range of a key of a table without block ranges: the rows' places are the
    // text forms of their keys.
    QString keyReadSql(const QList<PassField> &fields, const KeyChunk &chunk) const;
    // Where a chunk's rows are written, each by its place, in all the pass's fields.
    WriteTarget rowsTarget(const QList<PassField> &fields, const StoredRelation *relation) const;
    // Where one field's values are written to every row that holds them, for the rows a pass
    // missed.
    WriteTarget valuesTarget(const PassField &field, const StoredRelation *relation) const;
    // Where a key chunk's rows are written, each by its key, which has one column.
    WriteTarget keyTarget(const QList<PassField> &fields, const KeyedRelation &relation) const;

private:
    static QString textForm(const PassField &field, const QString &column);
    // With places: the rows' places (or keys) as the first array; without, NULL there.
    static QString aggregates(const QList<PassField> &fields, bool places);
    QString keptFrom(const QList<PassField> &fields, const QString &rows) const;
    QString mayChangeSql(const QString &value) const;
    WriteTarget target(const QList<const PassField *> &fields,
                       const StoredRelation *relation) const;

    const TableRef table_;
    const CaseMode mode_;
    const WordExceptions &words_;
    const bool utf8_;
    const RowIdentity *identity_;
    const QString condition_;
};
