// The statements of a change run's pass, as SQL text: the read of a chunk's values, and the
// parts of the UPDATE that writes its pairs, which the chunk writer puts together.
#pragma once

#include "casing/caserules.h"
#include "db/tableplan.h"
#include "db/tableref.h"
#include "run/chunkwriter.h"

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
    QSet<QString> refused;     // old values the server would not take, not tried again
    QHash<QString, MissingRows> missed; // pairs whose rows moved away, by old value
};

class PassStatements
{
public:
    // The identity is that of the run's journal, by which the rows written are recorded; none
    // records nothing. The words are the run's word exceptions; utf8 says that the server's
    // encoding is UTF-8, where the server may leave out ASCII values itself.
    PassStatements(const TableRef &table, CaseMode mode, const WordExceptions &words, bool utf8,
                   const RowIdentity *identity)
        : table_(table), mode_(mode), words_(words), utf8_(utf8), identity_(identity)
    {
    }

    QString readSql(const PassField &field, const PassChunk &chunk) const;
    WriteTarget target(const PassField &field, const StoredRelation *relation) const;

private:
    QString mayChangeSql(const QString &value) const;

    const TableRef table_;
    const CaseMode mode_;
    const WordExceptions &words_;
    const bool utf8_;
    const RowIdentity *identity_;
};
