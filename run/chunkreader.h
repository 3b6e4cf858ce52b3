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
#include <QVariantList>
#include <memory>
#include <optional>

class CancelGroup;
class WordExceptions;

// Items that one UPDATE writes. Either rows of a chunk, each known by its place (its ctid as
// read), with the old and new value of every field of the statement; or distinct values of one
// field, matched by value wherever they are, with the number of rows read with each. A field
// that the rule leaves as it is in a row has the empty text as both its old and its new value
// there: the rule never changes an empty text, and never makes one of a value.
struct WriteRows {
    QList<QString> places;            // one per item; empty when items are matched by value
    QList<QList<QString>> olds, news; // per field, one per item
    QList<qint64> counts;             // rows read with each item
    QString delimiter;                // joins each list into a text the UPDATE splits again
    QList<QString> joined;            // places (if any), then each field's olds and news, joined

    explicit WriteRows(qsizetype fields = 1) : olds(fields), news(fields) {}

    qsizetype size() const { return counts.size(); }
    qsizetype fields() const { return olds.size(); }
    bool byPlace() const { return !places.isEmpty(); }

    // Room for that many items, so that adding them moves nothing.
    void reserve(qsizetype items);
    // Adds an item: its place (empty for one matched by value) and its values per field.
    void add(const QString &place, const QList<QString> &itemOlds, const QList<QString> &itemNews,
             qint64 count);
    // Chooses the delimiter and joins the lists; must follow the last add().
    void join();
    // The statement's parameters for items [from, to): each list as a text and its delimiter.
    QVariantList params(qsizetype from, qsizetype to) const;
    // Field k's old (or new) values as join() joined them; null before join().
    QString joinedValues(qsizetype k, bool news) const
    {
        return joined.value((byPlace() ? 1 : 0) + 2 * k + (news ? 1 : 0));
    }
    // The item's old values as one text, by which a refused item is known again.
    QString key(qsizetype i) const;
    static QString KeyOf(const QList<QString> &olds);

    // Drops the items whose index the test picks, and joins the rest again.
    template <typename Test>
    void drop(Test test)
    {
        WriteRows kept(fields());
        for (qsizetype i = 0; i < size(); ++i) {
            if (test(i))
                continue;
            QList<QString> o, n;
            for (qsizetype k = 0; k < fields(); ++k) {
                o << olds[k][i];
                n << news[k][i];
            }
            kept.add(byPlace() ? places[i] : QString(), o, n, counts[i]);
        }
        if (kept.size() == size())
            return;
        kept.join();
        *this = std::move(kept);
    }
};

// One chunk as read and converted: its counts, where its reading stopped, and the rows in which
// the rule changes at least one field.
struct PreparedChunk {
    qint64 rowsRead = 0;
    qint64 rowsChanging = 0;  // rows in which the rule changes at least one field
    qint64 valuesChanged = 0; // one per row and field whose value the rule changes
    // Values the rule would change that the change's options leave as written: written in
    // mixed case, or kept at the user's choice.
    qint64 valuesLeftMixed = 0;
    qint64 valuesKept = 0;
    qint64 bytesRead = 0;  // UTF-16 bytes of the values read
    qint64 rangeBytes = 0; // the server's bytes of all the range's values
    bool cut = false;      // the range went past the byte budget: read up to the last row
    qint64 lastBlock = 0;  // the place of the last row read, when cut
    int lastOffset = 0;
    WriteRows rows;
};

// One chunk to read: a query whose one row holds the chunk's count of rows, the place of the
// last row read as a tid, whether it stopped before the end of its range, the range's size, the
// places of the rows that may change as one tid[] and then, for each field, their values as one
// text[] (NULL where the field cannot change); run in the pass's snapshot.
struct ReadRequest {
    QString sql;
    QString snapshot;   // exported by the run for the pass: every chunk sees the table as it was;
                        // empty for a read in a transaction of its own
    QList<bool> arrays; // per field: the values are arrays of text, converted element by element
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
    // A value's conversion: empty when it stays as it is, with why when the options leave it.
    struct Known {
        QString converted;
        LeftAs left = LeftAs::Converted;
        bool known = false;
    };
    Known conversionOf(const QString &old, bool array) const;
    static void countLeft(LeftAs left, PreparedChunk &chunk);

    PreparedChunk read(DbSession &session, const ReadRequest &request);
    void prepare(const QList<QString> &places, const QList<QList<QString>> &values,
                 const QList<bool> &arrays, PreparedChunk &chunk) const;
    void prepareValues(const QList<QString> &values, bool array, PreparedChunk &chunk) const;

    const CaseMode mode_;
    const std::shared_ptr<const WordExceptions> words_;
    QString snapshot_; // the one the session's open transaction reads in, if any
    PreparedChunk result_;
    std::optional<DbError> failure_; // a failed read ends the reader
    SessionWorker worker_;           // last: its thread ends before the members it uses go
};
