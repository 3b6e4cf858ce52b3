// Reads and prepares a change run's next chunk on a session and thread of its own while the
// run writes the current chunk: fetching the values, converting them and building the
// arrays for the UPDATE all overlap with the server's writing.
#pragma once

#include "casing/caserules.h"
#include "db/connectionsettings.h"
#include "db/dberror.h"

#include <QList>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// The distinct values of one chunk that the rule changes, with their new texts.
struct PreparedChunk {
    qint64 rowsRead = 0;
    qint64 valuesChanged = 0; // one per row whose value the rule changes
    qint64 bytesRead = 0;     // UTF-16 bytes of the values read
    QList<QString> olds;
    QList<QString> news;
    QString delimiter; // joins olds and news into the two texts the UPDATE splits again
    QString oldJoined;
    QString newJoined;

    // Drops the pairs whose index the test picks, and joins the rest again.
    template <typename Test>
    void dropPairs(Test drop)
    {
        QList<QString> keptOlds, keptNews;
        for (qsizetype i = 0; i < olds.size(); ++i) {
            if (!drop(i)) {
                keptOlds.push_back(olds[i]);
                keptNews.push_back(news[i]);
            }
        }
        if (keptOlds.size() == olds.size())
            return;
        olds = std::move(keptOlds);
        news = std::move(keptNews);
        oldJoined = olds.join(delimiter);
        newJoined = news.join(delimiter);
    }
};

class ChunkReader
{
public:
    // The session is opened in the reader's thread; a failure to open it is reported by the
    // first take(). The word exceptions, if any, apply after the rule (shared, not copied).
    ChunkReader(const ConnectionSettings &settings, int loginTimeout, CaseMode mode,
                std::shared_ptr<const WordExceptions> words = nullptr);
    ~ChunkReader();

    ChunkReader(const ChunkReader &) = delete;
    ChunkReader &operator=(const ChunkReader &) = delete;

    // Starts a query whose one row holds the chunk's count of rows and the values that may
    // change as one text[] (or NULL for none).
    // One request at a time: each request is followed by a take().
    void request(const QString &sql);

    // The prepared chunk, once ready; throws DbError when reading failed.
    PreparedChunk take();

private:
    void loop(ConnectionSettings settings, int loginTimeout);
    PreparedChunk prepare(qint64 rows, const QList<QString> &values) const;

    const CaseMode mode_;
    const std::shared_ptr<const WordExceptions> words_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<QString> request_;
    std::optional<PreparedChunk> result_;
    std::optional<DbError> error_;
    bool quit_ = false;
    std::thread thread_;
};
