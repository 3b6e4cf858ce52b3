// Reads and prepares a change run's next chunk on a session and thread of its own while the
// run writes the current chunk: fetching the values, converting them and building the
// arrays for the UPDATE all overlap with the server's writing.
#pragma once

#include "casing/caserules.h"
#include "db/connectionsettings.h"
#include "db/dberror.h"
#include "db/sessionworker.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>

class CancelGroup;
class WordExceptions;

// The distinct values of one chunk that the rule changes, with their new texts and the number
// of rows that held each.
struct PreparedChunk {
    qint64 rowsRead = 0;
    qint64 valuesChanged = 0; // one per row whose value the rule changes
    qint64 bytesRead = 0;     // UTF-16 bytes of the values read
    qint64 rangeBytes = 0;    // the server's bytes of all the range's values
    bool cut = false;         // the range went past the byte budget: read up to the last row
    qint64 lastBlock = 0;     // the place of the last row read, when cut
    int lastOffset = 0;
    QList<QString> olds;
    QList<QString> news;
    QList<qint64> counts; // rows read with each old value
    QString delimiter;    // joins olds and news into the two texts the UPDATE splits again
    QString oldJoined;
    QString newJoined;

    // Adds a pair (old values must be distinct); join() must follow before the chunk is used.
    void add(QString old, QString converted, qint64 count)
    {
        olds.push_back(std::move(old));
        news.push_back(std::move(converted));
        counts.push_back(count);
    }
    // Chooses the delimiter and joins the pairs into the two texts.
    void join();

    // Drops the pairs whose index the test picks, and joins the rest again.
    template <typename Test>
    void dropPairs(Test drop)
    {
        PreparedChunk kept;
        for (qsizetype i = 0; i < olds.size(); ++i) {
            if (!drop(i))
                kept.add(olds[i], news[i], counts[i]);
        }
        if (kept.olds.size() == olds.size())
            return;
        olds = std::move(kept.olds);
        news = std::move(kept.news);
        counts = std::move(kept.counts);
        oldJoined = olds.join(delimiter);
        newJoined = news.join(delimiter);
    }
};

// One chunk to read: a query whose one row holds the chunk's count of rows, the values that may
// change as one text[] (or NULL for none), the place of the last row read as a tid, and
// whether it stopped before the end of its range; run in the pass's snapshot.
struct ReadRequest {
    QString sql;
    QString snapshot;    // exported by the run for the pass: every chunk sees the table as it was
    bool arrays = false; // the values are arrays of text, converted element by element
};

class ChunkReader
{
public:
    // The session is opened in the reader's thread; a failure to open it is reported by the
    // first take(). The session belongs to the run's cancel group while it lives.
    // The word exceptions, if any, apply after the rule (shared, not copied).
    ChunkReader(const ConnectionSettings &settings, int loginTimeout, CaseMode mode,
                std::shared_ptr<const WordExceptions> words, CancelGroup &cancel);
    ~ChunkReader() = default;

    ChunkReader(const ChunkReader &) = delete;
    ChunkReader &operator=(const ChunkReader &) = delete;

    // One request at a time: each request is followed by a take().
    void request(ReadRequest request);

    // The prepared chunk, once ready; throws DbError when reading failed.
    PreparedChunk take();

    // The rule applied to one value as read: a text, or an array of texts element by element.
    static QString Convert(CaseMode mode, const WordExceptions *words, const QString &value,
                           bool array);

private:
    PreparedChunk read(DbSession &session, const ReadRequest &request);
    PreparedChunk prepare(qint64 rows, const QList<QString> &values, bool arrays) const;

    const CaseMode mode_;
    const std::shared_ptr<const WordExceptions> words_;
    QString snapshot_; // the one the session's open transaction reads in, if any
    PreparedChunk result_;
    std::optional<DbError> failure_; // a failed read ends the reader
    SessionWorker worker_;           // last: its thread ends before the members it uses go
};
