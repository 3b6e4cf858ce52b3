#include "run/chunkreader.h"

#include "casing/wordexceptions.h"
#include "db/arraytext.h"
#include "db/cancelgroup.h"
#include "db/dbsession.h"
#include "db/sqlquote.h"

#include <QHash>
#include <QVariant>

void WriteRows::add(const QString &place, const QList<QString> &itemOlds,
                    const QList<QString> &itemNews, qint64 count)
{
    if (!place.isEmpty())
        places.push_back(place);
    for (qsizetype k = 0; k < fields(); ++k) {
        olds[k].push_back(itemOlds[k]);
        news[k].push_back(itemNews[k]);
    }
    counts.push_back(count);
}

void WriteRows::reserve(qsizetype items)
{
    places.reserve(items);
    for (qsizetype k = 0; k < fields(); ++k) {
        olds[k].reserve(items);
        news[k].reserve(items);
    }
    counts.reserve(items);
}

void WriteRows::join()
{
    delimiter = UnusedDelimiter(QList<QList<QString>>{places} + olds + news);
    joined.clear();
    if (byPlace())
        joined << places.join(delimiter);
    for (qsizetype k = 0; k < fields(); ++k)
        joined << olds[k].join(delimiter) << news[k].join(delimiter);
}

QVariantList WriteRows::params(qsizetype from, qsizetype to) const
{
    const bool whole = from == 0 && to == size();
    QVariantList params;
    const auto add = [&](const QList<QString> &list, qsizetype j) {
        params << (whole ? joined[j] : list.mid(from, to - from).join(delimiter)) << delimiter;
    };
    qsizetype j = 0;
    if (byPlace())
        add(places, j++);
    for (qsizetype k = 0; k < fields(); ++k) {
        add(olds[k], j++);
        add(news[k], j++);
    }
    return params;
}

QString WriteRows::key(qsizetype i) const
{
    if (fields() == 1)
        return olds[0][i];
    QList<QString> parts;
    for (qsizetype k = 0; k < fields(); ++k)
        parts << olds[k][i];
    return KeyOf(parts);
}

QString WriteRows::KeyOf(const QList<QString> &olds)
{
    // No text of the server holds a NUL character.
    return olds.size() == 1 ? olds[0] : QStringList(olds).join(QChar(0));
}

// The statements of a run are short: compiling them to machine code costs more than it saves.
ChunkReader::ChunkReader(const ConnectionSettings &settings, int loginTimeout, CaseMode mode,
                         std::shared_ptr<const WordExceptions> words, CancelGroup &cancel)
    : mode_(mode), words_(std::move(words)),
      worker_(settings, DbSession::Options{loginTimeout, 0, true, true},
              {QStringLiteral("SET jit = off")}, &cancel)
{
}

void ChunkReader::request(ReadRequest request)
{
    worker_.submit([this, request = std::move(request)](DbSession &session) {
        if (failure_)
            throw *failure_;
        try {
            result_ = read(session, request);
        } catch (const DbError &error) {
            // A read outside a snapshot leaves no transaction behind, and the session serves on.
            if (!request.snapshot.isEmpty())
                failure_ = error;
            throw;
        }
    });
}

PreparedChunk ChunkReader::take()
{
    worker_.wait();
    return std::exchange(result_, PreparedChunk());
}

QString ChunkReader::Convert(CaseMode mode, const WordExceptions *words, const QString &value,
                             bool array)
{
    if (!array)
        return ApplyCaseMode(mode, value, words);
    return ApplyCaseModeToArrayText(mode, value, words).value_or(value);
}

ChunkReader::Known ChunkReader::conversionOf(const QString &old, bool array) const
{
    Known known;
    known.known = true;
    known.converted = Convert(mode_, words_.get(), old, array);
    if (known.converted != old)
        return known;
    known.converted = QStringLiteral(""); // empty, not null: known to stay
    // The elements of an array are left by the options too, but not counted.
    if (!array && words_ && (words_->leaveMixedCase() || words_->keepsAny()))
        known.left = LeftAsWritten(mode_, old, words_.get());
    return known;
}

void ChunkReader::countLeft(LeftAs left, PreparedChunk &chunk)
{
    if (left == LeftAs::MixedCase)
        ++chunk.valuesLeftMixed;
    else if (left == LeftAs::Kept)
        ++chunk.valuesKept;
}

void ChunkReader::prepare(const QList<QString> &places, const QList<QList<QString>> &values,
                          const QList<bool> &arrays, PreparedChunk &chunk) const
{
    const qsizetype fields = values.size();
    chunk.rows = WriteRows(fields);
    if (places.isEmpty()) {
        prepareValues(values.value(0), arrays.value(0), chunk);
        return;
    }
    // A field whose values repeat has each distinct value converted once. Whether they do is
    // seen on the chunk's first rows: where they hardly repeat, looking each value up costs
    // more than converting it again. A value the rule leaves as it is, or that the change's
    // options leave as written, is known by its empty conversion (no value is converted into
    // an empty text).
    constexpr qsizetype Sample = 128;
    QList<QHash<QString, Known>> seen(fields);
    for (QHash<QString, Known> &values : seen)
        values.reserve(std::min(places.size(), Sample));
    QList<bool> looked(fields, true);
    QList<qsizetype> repeats(fields, 0);
    chunk.rows.reserve(places.size());
    QList<QString> olds(fields), news(fields);
    for (qsizetype r = 0; r < places.size(); ++r) {
        for (qsizetype k = 0; r == Sample && k < fields; ++k) {
            looked[k] = repeats[k] * 4 >= Sample;
            if (!looked[k])
                seen[k] = {};
        }
        bool changes = false;
        for (qsizetype k = 0; k < fields; ++k) {
            olds[k].clear();
            news[k].clear();
            const QString &old = values[k].value(r);
            if (old.isEmpty())
                continue;
            chunk.bytesRead += old.size() * 2;
            Known known;
            if (looked[k]) {
                Known &cached = seen[k][old];
                if (!cached.known)
                    cached = conversionOf(old, arrays[k]);
                else
                    ++repeats[k];
                known = cached;
            } else {
                known = conversionOf(old, arrays[k]);
            }
            countLeft(known.left, chunk);
            if (known.converted.isEmpty())
                continue;
            olds[k] = old;
            news[k] = std::move(known.converted);
            changes = true;
            ++chunk.valuesChanged;
        }
        if (changes) {
            chunk.rows.add(places[r], olds, news, 1);
            ++chunk.rowsChanging;
        }
    }
    chunk.rows.join();
}

// A chunk of one field, read without places: its distinct values that the rule changes, each
// with the number of rows that hold it.
void ChunkReader::prepareValues(const QList<QString> &values, bool array,
                                PreparedChunk &chunk) const
{
    // The item of each distinct value, from 1; -1 for one the rule leaves as it is, -2 for one
    // the options leave as written as mixed case, -3 for a kept one; 0 for one not met before.
    QHash<QString, qsizetype> items;
    items.reserve(values.size());
    for (const QString &old : values) {
        if (old.isEmpty())
            continue;
        chunk.bytesRead += old.size() * 2;
        qsizetype &item = items[old];
        if (item == 0) {
            Known known = conversionOf(old, array);
            item = known.left == LeftAs::MixedCase ? -2
                   : known.left == LeftAs::Kept    ? -3
                   : known.converted.isEmpty()     ? -1
                                                   : chunk.rows.size() + 1;
            if (item > 0)
                chunk.rows.add(QString(), {old}, {std::move(known.converted)}, 0);
        }
        if (item == -2)
            countLeft(LeftAs::MixedCase, chunk);
        else if (item == -3)
            countLeft(LeftAs::Kept, chunk);
        if (item < 0)
            continue;
        ++chunk.rows.counts[item - 1];
        ++chunk.valuesChanged;
        ++chunk.rowsChanging;
    }
    chunk.rows.join();
}

PreparedChunk ChunkReader::read(DbSession &session, const ReadRequest &request)
{
    // A pass reads in the snapshot taken at its start: a row that another client moves
    // meanwhile is still read once, where it stood.
    if (request.snapshot != snapshot_) {
        if (!snapshot_.isEmpty())
            session.execute(QStringLiteral("COMMIT"));
        snapshot_.clear();
    }
    // Without a snapshot each read is a transaction of its own.
    if (request.snapshot != snapshot_) {
        // The driver frees a statement's server-side plan with a DEALLOCATE sent just before
        // the next statement, and the snapshot must come before any statement of the
        // transaction: the BEGIN is kept until the snapshot is set.
        const QSqlQuery begin =
            session.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        session.execute(QStringLiteral("SET TRANSACTION SNAPSHOT ") +
                        QuoteLiteral(request.snapshot));
        snapshot_ = request.snapshot;
    }
    PreparedChunk prepared;
    QString last;
    bool cut = false;
    QList<QString> places;
    QList<QList<QString>> values(request.arrays.size());
    QSqlQuery query = session.exec(request.sql);
    if (query.next()) {
        prepared.rowsRead = query.value(0).toLongLong();
        last = query.value(1).toString();
        cut = query.value(2).toBool();
        prepared.rangeBytes = query.value(3).toLongLong();
        bool parsed = query.value(4).isNull() || ParseTextArray(query.value(4).toString(), places);
        for (qsizetype k = 0; parsed && k < values.size(); ++k) {
            const QVariant list = query.value(int(5 + k));
            parsed = list.isNull() ||
                     (ParseTextArray(list.toString(), values[k]) &&
                      values[k].size() == (places.isEmpty() ? values[0].size() : places.size()));
        }
        if (!parsed)
            throw DbError(QStringLiteral("The values read could not be taken apart."));
    }
    prepare(places, values, request.arrays, prepared);
    if (cut) {
        // "(block,offset)"
        const QStringList parts = last.mid(1, last.size() - 2).split(u',');
        prepared.cut = parts.size() == 2;
        prepared.lastBlock = parts.value(0).toLongLong();
        prepared.lastOffset = parts.value(1).toInt();
    }
    return prepared;
}
