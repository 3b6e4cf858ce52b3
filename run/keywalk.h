// The chunks of a walk by key, beside the walk by blocks (ChunkWalk): a table of the tree that
// has no block ranges here, a foreign table whose rows live on another server, is walked by
// ranges of a key, in key order, each range ending where a read of the key alone through this
// server says that it holds about as many rows as asked for. Any relation without usable block
// ranges can be walked this way, given a key.
#pragma once

#include "db/tableplan.h"

#include <QList>
#include <QStringList>
#include <optional>

class DbSession;

// A range of a key: the rows after one key (in key order) up to and with another, or the rows
// with a NULL in the key, which have no place in that order.
struct KeyChunk {
    const KeyedRelation *relation;
    QStringList after;      // the key's text forms the range begins after; empty: from the first
    QStringList through;    // the key's text forms of its last rows; empty: to the last
    bool nulls = false;     // the rows with a NULL in a column of the key, and no others
    bool sharedEnd = false; // rows past the number asked for share the key at its end

    // SQL condition that row `alias` of the relation is in the chunk; only conditions that a
    // foreign-data wrapper may send to the remote server, so that the remote server picks the
    // rows by the key's index.
    QString conditionSql(const QString &alias) const;
};

class KeyWalk
{
public:
    // The relations must outlive the walk: its chunks point at them. Those without a usable
    // key are passed over; the run says what it left of them.
    explicit KeyWalk(const QList<KeyedRelation> &relations) : relations_(relations) {}

    // The next chunk of at most that many rows (more only where rows share the value of the key
    // at its end: they are all in the same chunk), its end found by a read of the key alone on
    // the session; none after the last relation. Throws DbError.
    std::optional<KeyChunk> next(DbSession &session, qint64 rows);

private:
    // The key of the row that many rows after the start of the chunk, and whether the row after
    // it shares that key; none when fewer are left.
    std::optional<std::pair<QStringList, bool>>
    boundAfter(DbSession &session, const KeyedRelation &relation, qint64 rows) const;

    const QList<KeyedRelation> &relations_;
    qsizetype index_ = 0;
    QStringList after_;       // where the present relation's next range begins
    bool rangesDone_ = false; // only the rows with a NULL key are left of the present relation
};
